// GuardedMemory.h on Windows: libsodium's guarded allocator, which maps
// each region with guard pages, locks it and wipes it on release.
#if defined(_WIN32)
#include <sodium.h>

#include "suite/platform/GuardedMemory.h"

namespace platform {

bool GuardedMemory::Allocate(std::size_t size) {
  Release();
  region = sodium_malloc(size == 0 ? 1 : size);
  if (region == nullptr) return false;
  bytes = static_cast<unsigned char*>(region);
  region_size = size;
  return true;
}

void GuardedMemory::Release() {
  sodium_free(region);  // wipes before unmapping; accepts null
  bytes = nullptr;
  region = nullptr;
  region_size = 0;
}

bool GuardedMemory::SetAccess(bool allowed) {
  if (region == nullptr) return true;
  return (allowed ? sodium_mprotect_readwrite(region) : sodium_mprotect_noaccess(region)) == 0;
}

}  // namespace platform

#endif  // _WIN32
