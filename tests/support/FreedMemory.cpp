#include "tests/support/FreedMemory.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

// C free() is taken over with glibc only, and not under the address
// sanitizer, whose own malloc and free must stay in place.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVOX_FREED_MEMORY_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KELVOX_FREED_MEMORY_ASAN 1
#endif
#if !defined(KELVOX_FREED_MEMORY_ASAN) && defined(__GLIBC__)
#define KELVOX_FREED_MEMORY_C_FREE 1
#include <malloc.h>
#endif

namespace {

// Each block starts with its size, kept in a header that preserves the
// alignment operator new promises.
constexpr std::size_t kHeader = alignof(std::max_align_t);
constexpr std::size_t kMaxWatched = 64;

std::atomic<bool> watching{false};
char watched[kMaxWatched];
std::size_t watched_size = 0;
std::atomic<int> hits{0};

#if defined(KELVOX_FREED_MEMORY_C_FREE)
constexpr bool kWatchesCFree = true;
#else
constexpr bool kWatchesCFree = false;
#endif

void Search(const void* block, std::size_t size) noexcept {
  if (watching && memmem(block, size, watched, watched_size) != nullptr) ++hits;
}

void* Allocate(std::size_t size) {
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (block == nullptr) throw std::bad_alloc();
  std::memcpy(block, &size, sizeof(size));
  return block + kHeader;
}

void Release(void* pointer) noexcept {
  if (pointer == nullptr) return;
  unsigned char* block = static_cast<unsigned char*>(pointer) - kHeader;
  std::size_t size = 0;
  std::memcpy(&size, block, sizeof(size));
  if (!kWatchesCFree) Search(pointer, size);  // else free() searches the whole block
  std::free(block);
}

}  // namespace

#if defined(KELVOX_FREED_MEMORY_C_FREE)
// The executable's free() takes the place of the C library's for the whole
// process, dlopen'ed libraries too; the block then goes to glibc's own.
extern "C" void __libc_free(void* pointer);
extern "C" void free(void* pointer) noexcept {
  if (pointer != nullptr) Search(pointer, malloc_usable_size(pointer));
  __libc_free(pointer);
}
#endif

// Every form that a plain delete may free, the nothrow ones included.
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try { return Allocate(size); } catch (const std::bad_alloc&) { return nullptr; }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { Release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { Release(pointer); }
void operator delete(void* pointer) noexcept { Release(pointer); }
void operator delete[](void* pointer) noexcept { Release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { Release(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { Release(pointer); }

FreedMemoryWatch::FreedMemoryWatch(const std::string& text) {
  watched_size = text.size() < kMaxWatched ? text.size() : kMaxWatched;
  std::memcpy(watched, text.data(), watched_size);
  hits = 0;
  watching = true;
}

FreedMemoryWatch::~FreedMemoryWatch() { watching = false; }

int FreedMemoryWatch::Hits() const { return hits; }

bool FreedMemoryWatch::WatchesCFree() { return kWatchesCFree; }
