// Memory for secrets (keys, a store's plaintext): libsodium's guarded
// allocation on every system, so pages of their own between two
// inaccessible guard pages (an overrun faults instead of reading or
// spilling a neighbour), locked against swapping and left out of core dumps
// where the system allows it, and zeroed before it goes back to the system.
// Not thread-safe; one owner at a time, so copying is deleted and moving
// hands the memory over.
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
  GuardedMemory(GuardedMemory&& other) noexcept : bytes(std::exchange(other.bytes, nullptr)) {}
  GuardedMemory& operator=(GuardedMemory&& other) noexcept {
    if (this != &other) {
      Release();
      bytes = std::exchange(other.bytes, nullptr);
    }
    return *this;
  }
  ~GuardedMemory() { Release(); }

  // Replaces what is held (zeroing it) by `size` bytes (at least one) whose
  // last byte abuts the guard page above. Returns false, holding nothing,
  // when the system has no memory for it.
  // REQUIRES: libsodium started (sodium_init).
  [[nodiscard]] bool Allocate(std::size_t size);

  // Zeroes and unmaps what is held; holds nothing after.
  void Release();

  // Makes the bytes unreadable, or readable and writable again. False when
  // the system refuses; the access then stays as it was.
  [[nodiscard]] bool SetAccess(bool allowed);

  unsigned char* data() const { return bytes; }

 private:
  unsigned char* bytes = nullptr;
};

}  // namespace platform

#endif  // SUITE_PLATFORM_GUARDEDMEMORY_H_
