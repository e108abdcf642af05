// The dpapi sealer of HostKeyProtection.h on systems without DPAPI (every
// build but Windows, chosen in CMake): a refusal.
#include <cstddef>
#include <vector>

#include "host/Log.h"
#include "host/StoreVocabulary.h"
#include "suite/endecrypt/HostKeyProtection.h"

namespace endecrypt {

StoreStatus SealWithDpapi(const SecureBuffer&, std::vector<unsigned char>&) {
  KLOG(1) << "host key protection 'dpapi' exists only on Windows";
  return endecrypt_status::kBadConfiguration;
}

StoreStatus UnsealWithDpapi(const unsigned char*, std::size_t, SecureBuffer&) {
  KLOG(1) << "host key is sealed by DPAPI, which exists only on Windows";
  return endecrypt_status::kNoCredential;
}

}  // namespace endecrypt
