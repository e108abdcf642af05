// GuardedMemory.h: libsodium's guarded allocator, the same on every system.
#include "suite/platform/GuardedMemory.h"

#include <sodium.h>

#include <cstring>

namespace platform {

bool GuardedMemory::Allocate(std::size_t size) {
  Release();
  // The allocator learns the page size and its canary in sodium_init, and
  // aborts the process without it; the call is cheap once it has run.
  if (sodium_init() < 0) return false;
  bytes = static_cast<unsigned char*>(sodium_malloc(size == 0 ? 1 : size));
  if (bytes == nullptr) return false;
  byte_count = size;
  return true;
}

bool GuardedMemory::TakeWiping(std::vector<unsigned char>& secret) {
  const bool allocated = Allocate(secret.size());
  if (allocated && !secret.empty()) std::memcpy(bytes, secret.data(), secret.size());
  sodium_memzero(secret.data(), secret.size());
  return allocated;
}

void GuardedMemory::Release() {
  sodium_free(bytes);  // makes the pages accessible, wipes and unmaps them; accepts null
  bytes = nullptr;
  byte_count = 0;
}

bool GuardedMemory::SetAccess(bool allowed) {
  if (bytes == nullptr) return true;
  return (allowed ? sodium_mprotect_readwrite(bytes) : sodium_mprotect_noaccess(bytes)) == 0;
}

}  // namespace platform
