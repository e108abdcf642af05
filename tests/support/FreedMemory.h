// Watches what the process frees. The executable that links FreedMemory.cpp
// runs every operator new and delete through it; while a FreedMemoryWatch
// lives, each block is searched for the watched text just before it is
// freed. A secret that is wiped when done never shows up. POSIX only.
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
};

#endif  // TESTS_SUPPORT_FREEDMEMORY_H_
