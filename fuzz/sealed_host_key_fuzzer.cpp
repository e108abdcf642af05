// Runs the host key file's reader on arbitrary bytes: the plain-or-sealed
// decision, the sealed header and, for a TPM-sealed key, the parse of the
// sealed parts, all of which come before anything is authenticated. The TCTI
// names a device that does not exist, so an input that parses fails at once
// when the TPM is opened. Beyond the sanitizers it checks that a refusal
// leaves the key untouched and that only a plain 32-byte file yields a key.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sodium.h>

#include "host/EnDecrypt.h"
#include "host/Log.h"
#include "suite/endecrypt/HostKeyProtection.h"
#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/SecureBuffer.h"

namespace {

using namespace endecrypt;

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ZUdurov::Log::SetLogFile("");
  // Guarded memory needs the library started, as the store does first.
  Check(sodium_init() >= 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxHostKeyFileSize) return 0;
  std::vector<unsigned char> bytes(data, data + size);
  SecureBuffer file;
  Check(file.TakeWiping(bytes) || size == 0);
  ProtectionSettings settings;
  settings.protection = Protection::kTpm2;
  settings.tpm2_tcti = "device:/nonexistent/tpm";
  settings.tpm2_timeout_ms = 100;
  SecureBuffer key;
  const StoreStatus result = UnprotectHostKey(settings, file, key);
  if (result != endecrypt_status::kOk) {
    Check(result == endecrypt_status::kNoCredential && key.size() == 0);
    return 0;
  }
  Check(size == kHostKeySize && key.size() == kHostKeySize &&
        std::memcmp(key.data(), data, size) == 0);
  return 0;
}
