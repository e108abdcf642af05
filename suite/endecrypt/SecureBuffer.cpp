#include "suite/endecrypt/SecureBuffer.h"

#include <sodium.h>

#include <cstring>
#include <utility>

namespace endecrypt {

SecureBuffer::SecureBuffer(SecureBuffer&& other) noexcept
    : memory(std::move(other.memory)), byte_count(std::exchange(other.byte_count, 0)) {}

SecureBuffer& SecureBuffer::operator=(SecureBuffer&& other) noexcept {
  if (this != &other) {
    memory = std::move(other.memory);
    byte_count = std::exchange(other.byte_count, 0);
  }
  return *this;
}

bool SecureBuffer::TakeWiping(std::vector<unsigned char>& bytes) {
  const bool allocated = Allocate(bytes.size());
  if (allocated && !bytes.empty()) std::memcpy(data(), bytes.data(), bytes.size());
  sodium_memzero(bytes.data(), bytes.size());
  return allocated;
}

bool SecureBuffer::Allocate(std::size_t size) {
  // An empty buffer still gets a byte, so data() is never null after success.
  byte_count = 0;
  if (!memory.Allocate(size)) return false;
  byte_count = size;
  return true;
}

bool SecureBuffer::ForbidAccess() { return memory.SetAccess(false); }

bool SecureBuffer::AllowAccess() { return memory.SetAccess(true); }

}  // namespace endecrypt
