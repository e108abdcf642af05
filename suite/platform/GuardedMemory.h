// Memory for secrets (keys, a store's plaintext): pages of their own between
// two inaccessible guard pages, so an overrun faults instead of reading or
// spilling a neighbour; locked against swapping where the system allows
// it; left out of core dumps; zeroed before it goes back to the system.
// Large regions are carved from memory the process already has where it
// can (page-aligned inside one heap block, so no fresh page is zeroed for
// them) and backed by huge pages where the system offers them.
// GuardedMemoryPosix.cpp and GuardedMemoryWindows.cpp hold the two sides.
#ifndef SUITE_PLATFORM_GUARDEDMEMORY_H_
#define SUITE_PLATFORM_GUARDEDMEMORY_H_

#include <cstddef>
#include <utility>

namespace platform {

class GuardedMemory {
 public:
  GuardedMemory() = default;
  GuardedMemory(const GuardedMemory&) = delete;
  GuardedMemory& operator=(const GuardedMemory&) = delete;
  GuardedMemory(GuardedMemory&& other) noexcept
      : bytes(std::exchange(other.bytes, nullptr)),
        region(std::exchange(other.region, nullptr)),
        region_size(std::exchange(other.region_size, 0)),
        from_heap(std::exchange(other.from_heap, false)) {}
  GuardedMemory& operator=(GuardedMemory&& other) noexcept {
    if (this != &other) {
      Release();
      bytes = std::exchange(other.bytes, nullptr);
      region = std::exchange(other.region, nullptr);
      region_size = std::exchange(other.region_size, 0);
      from_heap = std::exchange(other.from_heap, false);
    }
    return *this;
  }
  ~GuardedMemory() { Release(); }

  // Replaces what is held (zeroing it) by `size` bytes (at least one) whose
  // last byte abuts the guard page above. Returns false, holding nothing,
  // when the system has no memory for it.
  [[nodiscard]] bool Allocate(std::size_t size);

  // Zeroes and unmaps what is held; holds nothing after.
  void Release();

  // Makes the bytes unreadable, or readable and writable again. False when
  // the system refuses; the access then stays as it was.
  [[nodiscard]] bool SetAccess(bool allowed);

  unsigned char* data() const { return bytes; }

 private:
  unsigned char* bytes = nullptr;  // the caller's bytes, inside the region
  void* region = nullptr;          // the whole allocation, guard pages included
  std::size_t region_size = 0;
  bool from_heap = false;  // POSIX: pages of one heap block rather than a mapping
};

}  // namespace platform

#endif  // SUITE_PLATFORM_GUARDEDMEMORY_H_
