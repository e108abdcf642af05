// Watches what the process frees. The executable that links FreedMemory.cpp
// runs every operator new and delete through it, and, outside the address
// sanitizer, every C free() as well, the libraries' it loads included;
// while a FreedMemoryWatch lives, each block is searched for the watched
// text just before it is freed. A secret that is wiped when done never
// shows up. POSIX only.
#ifndef TESTS_SUPPORT_FREEDMEMORY_H_
#define TESTS_SUPPORT_FREEDMEMORY_H_

#include <string>

class FreedMemoryWatch {
 public:
  explicit FreedMemoryWatch(const std::string& text);
  FreedMemoryWatch(const FreedMemoryWatch&) = delete;
  FreedMemoryWatch& operator=(const FreedMemoryWatch&) = delete;
  ~FreedMemoryWatch();

  // Blocks freed since the watch began that still held the text.
  int Hits() const;
  // Whether C free() is watched: not under the address sanitizer, which
  // owns malloc and free.
  static bool WatchesCFree();
};

#endif  // TESTS_SUPPORT_FREEDMEMORY_H_
