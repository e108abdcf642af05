#include "suite/endecrypt/SecureBuffer.h"

#include <sodium.h>

#include <cstring>
#include <utility>

namespace endecrypt {

SecureBuffer::SecureBuffer(SecureBuffer&& other) noexcept
    : memory(std::exchange(other.memory, nullptr)),
      byte_count(std::exchange(other.byte_count, 0)) {}

SecureBuffer& SecureBuffer::operator=(SecureBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    memory = std::exchange(other.memory, nullptr);
    byte_count = std::exchange(other.byte_count, 0);
  }
  return *this;
}

SecureBuffer::~SecureBuffer() { Release(); }

bool SecureBuffer::TakeWiping(std::vector<unsigned char>& bytes) {
  const bool allocated = Allocate(bytes.size());
  if (allocated && !bytes.empty()) std::memcpy(memory, bytes.data(), bytes.size());
  sodium_memzero(bytes.data(), bytes.size());
  return allocated;
}

bool SecureBuffer::Allocate(std::size_t size) {
  Release();
  // sodium_malloc(0) is not guaranteed to give a usable pointer; an empty
  // buffer still gets one byte so data() is never null after success.
  memory = static_cast<unsigned char*>(sodium_malloc(size == 0 ? 1 : size));
  if (memory == nullptr) return false;
  byte_count = size;
  return true;
}

bool SecureBuffer::ForbidAccess() { return sodium_mprotect_noaccess(memory) == 0; }

bool SecureBuffer::AllowAccess() { return sodium_mprotect_readwrite(memory) == 0; }

void SecureBuffer::Release() {
  sodium_free(memory);  // wipes before unmapping; accepts null
  memory = nullptr;
  byte_count = 0;
}

}  // namespace endecrypt
