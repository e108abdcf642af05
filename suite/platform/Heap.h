// The C heap tuned for a short run that reads a large file whole and builds
// and drops large structures from it (a parsed input of many megabytes, a
// store's records): every knob and threshold lives in HeapPosix.cpp (and
// HeapWindows.cpp, where the heap has none). Every block that held a
// secret is zeroed before it is freed, so memory the heap keeps for reuse
// keeps nothing readable.
#ifndef SUITE_PLATFORM_HEAP_H_
#define SUITE_PLATFORM_HEAP_H_

#include <cstddef>

namespace platform {

// Memory freed is kept for the next allocation instead of being handed
// back to the system and faulted in again, and the heap grows in large
// steps. Called once, by the host, before the command runs.
void KeepFreedHeapForReuse();

// What a file read whole is about to become.
enum class HeapUse {
  kStoreFile,  // a store: its bytes, then the views or copies of its records
  kInputText,  // an input: its text, then the small blocks of its parse
};

// Readies the heap for a file of `size` bytes about to be read whole for
// `use`: from a megabyte or so on, the memory it and what it is decoded
// into will take is taken from the heap at once, advised into huge pages
// where the system offers them, and handed back, so what follows is carved
// from it with one page fault per huge page instead of one per page.
// Relies on KeepFreedHeapForReuse, without which it is merely wasted work.
void ReadyHeapForFile(std::size_t size, HeapUse use);

}  // namespace platform

#endif  // SUITE_PLATFORM_HEAP_H_
