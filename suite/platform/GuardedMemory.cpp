// GuardedMemory.h: libsodium's guarded allocator, the same on every system.
#include "suite/platform/GuardedMemory.h"

#include <sodium.h>

namespace platform {

bool GuardedMemory::Allocate(std::size_t size) {
  Release();
  // The allocator learns the page size and its canary in sodium_init, and
  // aborts the process without it; the call is cheap once it has run.
  if (sodium_init() < 0) return false;
  bytes = static_cast<unsigned char*>(sodium_malloc(size == 0 ? 1 : size));
  return bytes != nullptr;
}

void GuardedMemory::Release() {
  sodium_free(bytes);  // makes the pages accessible, wipes and unmaps them; accepts null
  bytes = nullptr;
}

bool GuardedMemory::SetAccess(bool allowed) {
  if (bytes == nullptr) return true;
  return (allowed ? sodium_mprotect_readwrite(bytes) : sodium_mprotect_noaccess(bytes)) == 0;
}

}  // namespace platform
