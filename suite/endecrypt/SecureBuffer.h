// A byte buffer in guarded memory for keys and plaintext
// (suite/platform/GuardedMemory.h: guard pages, locked against swapping
// where the system allows it, wiped when released). Not thread-safe; one
// owner at a time, so copying is deleted and moving hands the memory over.
#ifndef SUITE_ENDECRYPT_SECUREBUFFER_H_
#define SUITE_ENDECRYPT_SECUREBUFFER_H_

#include <cstddef>
#include <vector>

#include "suite/platform/GuardedMemory.h"

namespace endecrypt {

class SecureBuffer {
 public:
  SecureBuffer() = default;
  SecureBuffer(const SecureBuffer&) = delete;
  SecureBuffer& operator=(const SecureBuffer&) = delete;
  SecureBuffer(SecureBuffer&& other) noexcept;
  SecureBuffer& operator=(SecureBuffer&& other) noexcept;
  ~SecureBuffer() = default;

  // Replaces what is held (wiping it) by `size` bytes of unspecified
  // content. Returns false, holding nothing, when memory runs out.
  [[nodiscard]] bool Allocate(std::size_t size);

  // Replaces what is held by a copy of `bytes` and wipes `bytes`, also when
  // it returns false (memory ran out; nothing is held then).
  [[nodiscard]] bool TakeWiping(std::vector<unsigned char>& bytes);

  // Make the memory unreadable until AllowAccess, so a stray read elsewhere
  // in the process faults instead of seeing a key. Both return false when
  // the system refuses; the memory then stays as it was.
  [[nodiscard]] bool ForbidAccess();
  [[nodiscard]] bool AllowAccess();

  unsigned char* data() { return memory.data(); }
  const unsigned char* data() const { return memory.data(); }
  std::size_t size() const { return byte_count; }

 private:
  platform::GuardedMemory memory;
  std::size_t byte_count = 0;
};

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_SECUREBUFFER_H_
