#include "suite/endecrypt/HostKey.h"

#include <sodium.h>

#include <cstring>

#include "host/EnDecrypt.h"
#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreFiles.h"
#include "suite/endecrypt/StoreFormat.h"

namespace endecrypt {
namespace {

constexpr char kKeyIdPersonal[crypto_generichash_blake2b_PERSONALBYTES + 1] = "kelvox-hostkeyid";
constexpr std::size_t kKeyIdHashSize = crypto_generichash_blake2b_BYTES_MIN;
static_assert(kKeyIdSize <= kKeyIdHashSize);

}  // namespace

int LoadHostKey(const std::string& path, SecureBuffer& key) {
  SecureBuffer loaded;
  if (ReadSecretFile(path, kHostKeySize, loaded) != FileResult::kOk) {
    return endecrypt_status::kNoCredential;
  }
  key = std::move(loaded);
  return endecrypt_status::kOk;
}

int LoadOrCreateHostKey(const std::string& path, SecureBuffer& key) {
  SecureBuffer fresh;
  switch (ReadSecretFile(path, kHostKeySize, fresh)) {
    case FileResult::kOk: key = std::move(fresh); return endecrypt_status::kOk;
    case FileResult::kNotFound: break;
    default: return endecrypt_status::kNoCredential;
  }
  if (!fresh.Allocate(kHostKeySize)) return endecrypt_status::kInternal;
  randombytes_buf(fresh.data(), kHostKeySize);
  switch (CreateFileAtomically(path, fresh.data(), kHostKeySize)) {
    case FileResult::kOk: key = std::move(fresh); return endecrypt_status::kOk;
    case FileResult::kExists: return LoadHostKey(path, key);  // another process was first
    default: return endecrypt_status::kWriteFailed;
  }
}

int ComputeHostKeyId(const SecureBuffer& key, unsigned char* key_id) {
  unsigned char hash[kKeyIdHashSize];
  if (crypto_generichash_blake2b_salt_personal(
          hash, sizeof(hash), nullptr, 0, key.data(), kHostKeySize, nullptr,
          reinterpret_cast<const unsigned char*>(kKeyIdPersonal)) != 0) {
    return endecrypt_status::kInternal;
  }
  std::memcpy(key_id, hash, kKeyIdSize);
  return endecrypt_status::kOk;
}

}  // namespace endecrypt
