// A byte buffer in guarded memory for keys and plaintext: allocated with
// sodium_malloc (guard pages, locked against swapping where the system
// allows it) and wiped by sodium_free when released. Not thread-safe; one
// owner at a time, so copying is deleted and moving hands the memory over.
#ifndef SUITE_ENDECRYPT_SECUREBUFFER_H_
#define SUITE_ENDECRYPT_SECUREBUFFER_H_

#include <cstddef>
#include <vector>

namespace endecrypt {

class SecureBuffer {
 public:
  SecureBuffer() = default;
  SecureBuffer(const SecureBuffer&) = delete;
  SecureBuffer& operator=(const SecureBuffer&) = delete;
  SecureBuffer(SecureBuffer&& other) noexcept;
  SecureBuffer& operator=(SecureBuffer&& other) noexcept;
  ~SecureBuffer();

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

  unsigned char* data() { return memory; }
  const unsigned char* data() const { return memory; }
  std::size_t size() const { return byte_count; }

 private:
  void Release();

  unsigned char* memory = nullptr;
  std::size_t byte_count = 0;
};

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_SECUREBUFFER_H_
