// Memory for secrets (keys, a store's plaintext): libsodium's guarded
// allocation on every system, so pages of their own between two
// inaccessible guard pages (an overrun faults instead of reading or
// spilling a neighbour), locked against swapping and left out of core dumps
// where the system allows it, and zeroed before it goes back to the system.
// The one buffer for secrets: the store library's keys and plaintext
// (endecrypt::SecureBuffer) and the age library's (age::SecretBytes) are
// this. Not thread-safe; one owner at a time, so copying is deleted and moving
// hands the memory over.
#ifndef SUITE_PLATFORM_GUARDEDMEMORY_H_
#define SUITE_PLATFORM_GUARDEDMEMORY_H_

#include <cstddef>
#include <utility>
#include <vector>

namespace platform {

class GuardedMemory {
 public:
  GuardedMemory() = default;
  GuardedMemory(const GuardedMemory&) = delete;
  GuardedMemory& operator=(const GuardedMemory&) = delete;
  GuardedMemory(GuardedMemory&& other) noexcept
      : bytes(std::exchange(other.bytes, nullptr)), byte_count(std::exchange(other.byte_count, 0)) {}
  GuardedMemory& operator=(GuardedMemory&& other) noexcept {
    if (this != &other) {
      Release();
      bytes = std::exchange(other.bytes, nullptr);
      byte_count = std::exchange(other.byte_count, 0);
    }
    return *this;
  }
  ~GuardedMemory() { Release(); }

  // Replaces what is held (zeroing it) by `size` bytes of unspecified
  // content, in a region of at least one byte whose last byte abuts the
  // guard page above, so data() is never null after success. Returns false,
  // holding nothing, when the system has no memory for it.
  [[nodiscard]] bool Allocate(std::size_t size);

  // Replaces what is held by a copy of `secret` and wipes `secret`, also
  // when it returns false (memory ran out; nothing is held then).
  [[nodiscard]] bool TakeWiping(std::vector<unsigned char>& secret);

  // Zeroes and unmaps what is held; holds nothing after.
  void Release();

  // Makes the bytes unreadable, or readable and writable again. False when
  // the system refuses; the access then stays as it was.
  [[nodiscard]] bool SetAccess(bool allowed);

  unsigned char* data() { return bytes; }
  const unsigned char* data() const { return bytes; }
  std::size_t size() const { return byte_count; }

 private:
  unsigned char* bytes = nullptr;
  std::size_t byte_count = 0;
};

}  // namespace platform

#endif  // SUITE_PLATFORM_GUARDEDMEMORY_H_
