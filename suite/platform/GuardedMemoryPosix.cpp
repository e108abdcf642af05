// GuardedMemory.h on POSIX systems: one anonymous mapping per region.
#if !defined(_WIN32)
#include <sodium.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "suite/platform/GuardedMemory.h"

namespace platform {
namespace {

constexpr std::size_t kHugePage = 2 * 1024 * 1024;
// The start of the caller's bytes keeps this alignment, as malloc's would.
constexpr std::size_t kAlignment = 16;

std::size_t PageSize() {
  static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return page;
}

}  // namespace

bool GuardedMemory::Allocate(std::size_t size) {
  Release();
  const std::size_t page = PageSize();
  if (size == 0) size = 1;
  if (size > SIZE_MAX - 3 * page) return false;
  const std::size_t inner = (size + kAlignment + page - 1) / page * page;
  void* mapped = ::mmap(nullptr, inner + 2 * page, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return false;
  auto* base = static_cast<unsigned char*>(mapped);
  unsigned char* usable = base + page;
  if (::mprotect(base, page, PROT_NONE) != 0 ||
      ::mprotect(usable + inner, page, PROT_NONE) != 0) {
    ::munmap(mapped, inner + 2 * page);
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
  region = mapped;
  region_size = inner + 2 * page;
  const std::size_t offset = (inner - size) / kAlignment * kAlignment;
  bytes = usable + offset;
  return true;
}

void GuardedMemory::Release() {
  if (region == nullptr) return;
  const std::size_t page = PageSize();
  unsigned char* usable = static_cast<unsigned char*>(region) + page;
  const std::size_t inner = region_size - 2 * page;
  // Readable again first: the bytes may have been locked away.
  static_cast<void>(::mprotect(usable, inner, PROT_READ | PROT_WRITE));
  sodium_memzero(usable, inner);
  static_cast<void>(::munlock(usable, inner));
  ::munmap(region, region_size);
  bytes = nullptr;
  region = nullptr;
  region_size = 0;
}

bool GuardedMemory::SetAccess(bool allowed) {
  if (region == nullptr) return true;
  const std::size_t page = PageSize();
  return ::mprotect(static_cast<unsigned char*>(region) + page, region_size - 2 * page,
                    allowed ? PROT_READ | PROT_WRITE : PROT_NONE) == 0;
}

}  // namespace platform

#endif  // !_WIN32
