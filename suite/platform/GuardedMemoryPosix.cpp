// GuardedMemory.h on POSIX systems: small regions are anonymous mappings of
// their own; large ones are whole pages inside one heap block, which the
// heap that the host keeps for reuse has usually touched already, so the
// system need not zero fresh pages for them. Either way the guard pages are
// made inaccessible, and every protection is undone before the memory goes
// back.
#if !defined(_WIN32)
#include <sodium.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "suite/platform/GuardedMemory.h"

namespace platform {
namespace {

constexpr std::size_t kHugePage = 2 * 1024 * 1024;
// From this size on a region is taken from the heap.
constexpr std::size_t kFromHeap = 1024 * 1024;
// The start of the caller's bytes keeps this alignment, as malloc's would.
constexpr std::size_t kAlignment = 16;

std::size_t PageSize() {
  static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return page;
}

// The first guard page of a region: the region itself when mapped, the
// first page boundary inside the block when taken from the heap.
unsigned char* GuardOf(void* region, bool from_heap) {
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(region);
  const std::uintptr_t page = PageSize();
  return reinterpret_cast<unsigned char*>(from_heap ? (start + page - 1) / page * page : start);
}

// The pages a region has besides the caller's: the two guards, and for a
// heap block one more, to start the first guard on a page boundary.
std::size_t ExtraPages(bool from_heap) { return from_heap ? 3 : 2; }

// The caller's pages of a region of `region_size` bytes.
std::size_t InnerOf(std::size_t region_size, bool from_heap) {
  return region_size - ExtraPages(from_heap) * PageSize();
}

}  // namespace

bool GuardedMemory::Allocate(std::size_t size) {
  Release();
  const std::size_t page = PageSize();
  if (size == 0) size = 1;
  if (size > SIZE_MAX - 4 * page) return false;
  const std::size_t inner = (size + kAlignment + page - 1) / page * page;
  const bool heap = inner >= kFromHeap;
  const std::size_t total = inner + ExtraPages(heap) * page;
  void* block = nullptr;
  if (heap) {
    block = std::malloc(total);
  } else {
    block = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) block = nullptr;
  }
  if (block == nullptr) return false;
  region = block;
  region_size = total;
  from_heap = heap;
  unsigned char* usable = GuardOf(region, from_heap) + page;
  if (::mprotect(usable - page, page, PROT_NONE) != 0 ||
      ::mprotect(usable + inner, page, PROT_NONE) != 0) {
    Release();
    return false;
  }
#if defined(MADV_DONTDUMP)
  static_cast<void>(::madvise(usable, inner, MADV_DONTDUMP));
#endif
#if defined(MADV_HUGEPAGE)
  // Advice only: before the lock below, which faults the pages in.
  if (inner >= kHugePage) static_cast<void>(::madvise(usable, inner, MADV_HUGEPAGE));
#endif
  // Best effort, like any process without the privilege to lock as much.
  static_cast<void>(::mlock(usable, inner));
  bytes = usable + (inner - size) / kAlignment * kAlignment;
  return true;
}

void GuardedMemory::Release() {
  if (region == nullptr) return;
  const std::size_t page = PageSize();
  unsigned char* guard = GuardOf(region, from_heap);
  const std::size_t inner = InnerOf(region_size, from_heap);
  // Everything readable and writable again first: the bytes may have been
  // locked away, and the heap writes into a block it gets back.
  static_cast<void>(::mprotect(guard, inner + 2 * page, PROT_READ | PROT_WRITE));
  sodium_memzero(guard + page, inner);
  static_cast<void>(::munlock(guard + page, inner));
  if (from_heap) {
#if defined(MADV_DODUMP)
    static_cast<void>(::madvise(guard + page, inner, MADV_DODUMP));
#endif
    std::free(region);
  } else {
    ::munmap(region, region_size);
  }
  bytes = nullptr;
  region = nullptr;
  region_size = 0;
  from_heap = false;
}

bool GuardedMemory::SetAccess(bool allowed) {
  if (region == nullptr) return true;
  const std::size_t page = PageSize();
  const std::size_t inner = InnerOf(region_size, from_heap);
  return ::mprotect(GuardOf(region, from_heap) + page, inner,
                    allowed ? PROT_READ | PROT_WRITE : PROT_NONE) == 0;
}

}  // namespace platform

#endif  // !_WIN32
