// Heap.h on POSIX systems: glibc's knobs where it is the C library, and
// huge pages where the system offers them.
// Before the test below: it names the C library.
#include <sys/mman.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "suite/platform/Heap.h"

namespace platform {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
// Large blocks come from the heap below this size, not from mappings of
// their own, which are unmapped on free; the top of the heap is kept up to
// the second, and the heap grows by the third at a time.
constexpr std::size_t kMmapThreshold = 256 * kMiB;
constexpr std::size_t kTrimThreshold = 1024 * kMiB;
constexpr std::size_t kTopPad = 32 * kMiB;
// Files read whole from this size on ready the heap first.
constexpr std::size_t kLargeFile = kMiB;
// Bytes of heap per byte of file: a store's bytes and the views or copies
// of its records; an input's text and the small blocks of its parse.
constexpr std::size_t kHeapPerStoreByte = 4;
constexpr std::size_t kHeapPerInputByte = 8;
// Never more than this at once, whatever a file's size claims.
constexpr std::size_t kMaxReadied = 1024 * kMiB;
constexpr std::uintptr_t kHugePage = 2 * kMiB;

}  // namespace

void KeepFreedHeapForReuse() {
#if defined(__GLIBC__)
  static_cast<void>(mallopt(M_MMAP_THRESHOLD, static_cast<int>(kMmapThreshold)));
  static_cast<void>(mallopt(M_TRIM_THRESHOLD, static_cast<int>(kTrimThreshold)));
  static_cast<void>(mallopt(M_TOP_PAD, static_cast<int>(kTopPad)));
#endif
}

void ReadyHeapForFile(std::size_t size, HeapUse use) {
#if defined(MADV_HUGEPAGE)
  if (size < kLargeFile) return;
  const std::size_t per_byte = use == HeapUse::kStoreFile ? kHeapPerStoreByte : kHeapPerInputByte;
  const std::size_t total = std::min(size, kMaxReadied / per_byte) * per_byte;
  void* block = std::malloc(total);
  if (block == nullptr) return;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (start + total) & ~(kHugePage - 1);
  if (last > first) {
    static_cast<void>(::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE));
  }
  std::free(block);
#else
  static_cast<void>(size);
  static_cast<void>(use);
#endif
}

}  // namespace platform
