// The tpm2 sealer of HostKeyProtection.h where there is no TPM path (the
// build for Windows, chosen in CMake): a refusal.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/Log.h"
#include "host/StoreVocabulary.h"
#include "suite/endecrypt/HostKeyProtection.h"

namespace endecrypt {

StoreStatus SealWithTpm2(const ProtectionSettings&, const SecureBuffer&,
                         std::vector<unsigned char>&) {
  KLOG(1) << "host key protection 'tpm2' exists only on Linux";
  return endecrypt_status::kBadConfiguration;
}

StoreStatus UnsealWithTpm2(const ProtectionSettings&, std::uint8_t, const unsigned char*,
                           std::size_t, SecureBuffer&) {
  KLOG(1) << "host key is sealed by a TPM, which this build does not use";
  return endecrypt_status::kNoCredential;
}

}  // namespace endecrypt
