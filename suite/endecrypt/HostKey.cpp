#include "suite/endecrypt/HostKey.h"

#include <sodium.h>

#include <cstring>
#include <exception>

#include "host/EnDecrypt.h"
#include "suite/endecrypt/HostKeyProtection.h"
#include "suite/endecrypt/HostKeyRotation.h"
#include "suite/endecrypt/HostKeySealing.h"
#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreFiles.h"
#include "suite/endecrypt/StoreFormat.h"
#include "suite/endecrypt/StoreSettings.h"

namespace endecrypt {
namespace {

constexpr char kKeyIdPersonal[crypto_generichash_blake2b_PERSONALBYTES + 1] = "kelvox-hostkeyid";
constexpr std::size_t kKeyIdHashSize = crypto_generichash_blake2b_BYTES_MIN;
static_assert(kKeyIdSize <= kKeyIdHashSize);

// The innermost PreloadedHostKey of this thread, if any.
thread_local PreloadedHostKey* preloaded = nullptr;

}  // namespace

PreloadedHostKey::PreloadedHostKey(bool wanted) : previous(preloaded) {
  preloaded = this;
  ProtectionSettings settings;
  if (!wanted || ReadHostKeyPath(current.path) != endecrypt_status::kOk ||
      ReadProtectionSettings(settings) != endecrypt_status::kOk) {
    return;
  }
  Load(settings, current);
  // Stores sealed before an unfinished rotation open, and are moved, with it.
  old.path = GetOldHostKeyPath(current.path);
  Load(settings, old);
}

void PreloadedHostKey::Load(const ProtectionSettings& settings, Loaded& loaded) {
  SecureBuffer file;
  switch (ReadSecretFile(loaded.path, kHostKeySize, kMaxHostKeyFileSize, file)) {
    case FileResult::kOk: loaded.status = UnprotectHostKey(settings, file, loaded.key); break;
    case FileResult::kNotFound: return;
    default: loaded.status = endecrypt_status::kNoCredential; break;
  }
  loaded.held = true;
}

PreloadedHostKey::~PreloadedHostKey() { preloaded = previous; }

bool PreloadedHostKey::Take(const std::string& wanted_path, SecureBuffer& copy,
                            int& result) const {
  const Loaded* found = current.held && wanted_path == current.path ? &current
                        : old.held && wanted_path == old.path       ? &old
                                                                    : nullptr;
  if (found == nullptr) return false;
  result = found->status;
  if (result == endecrypt_status::kOk) {
    SecureBuffer out;
    if (out.Allocate(kHostKeySize)) {
      std::memcpy(out.data(), found->key.data(), kHostKeySize);
      copy = std::move(out);
    } else {
      result = endecrypt_status::kInternal;
    }
  }
  return true;
}

int LoadHostKey(const std::string& path, SecureBuffer& key) {
  ProtectionSettings settings;
  SecureBuffer file;
  int result = endecrypt_status::kOk;
  if (preloaded != nullptr && preloaded->Take(path, key, result)) return result;
  if ((result = ReadProtectionSettings(settings)) != endecrypt_status::kOk) return result;
  if (ReadSecretFile(path, kHostKeySize, kMaxHostKeyFileSize, file) != FileResult::kOk) {
    return endecrypt_status::kNoCredential;
  }
  return UnprotectHostKey(settings, file, key);
}

int LoadOrCreateHostKey(const std::string& path, SecureBuffer& key) {
  ProtectionSettings settings;
  SecureBuffer file;
  int result = endecrypt_status::kOk;
  if (preloaded != nullptr && preloaded->Take(path, key, result)) return result;
  if ((result = ReadProtectionSettings(settings)) != endecrypt_status::kOk) return result;
  switch (ReadSecretFile(path, kHostKeySize, kMaxHostKeyFileSize, file)) {
    case FileResult::kOk: return UnprotectHostKey(settings, file, key);
    case FileResult::kNotFound: break;
    default: return endecrypt_status::kNoCredential;
  }
  SecureBuffer fresh;
  if (!fresh.Allocate(kHostKeySize)) return endecrypt_status::kInternal;
  randombytes_buf(fresh.data(), kHostKeySize);
  if ((result = ProtectHostKey(settings, fresh, file)) != endecrypt_status::kOk) return result;
  switch (CreateFileAtomically(path, file.data(), file.size())) {
    case FileResult::kOk: key = std::move(fresh); return endecrypt_status::kOk;
    case FileResult::kExists: return LoadHostKey(path, key);  // another process was first
    default: return endecrypt_status::kWriteFailed;
  }
}

int SealHostKeyInPlace(const std::string& path) {
  ProtectionSettings settings;
  SecureBuffer key;
  int result = ReadProtectionSettings(settings);
  if (result == endecrypt_status::kOk) result = LoadHostKey(path, key);
  return result == endecrypt_status::kOk ? WriteHostKeyFile(path, settings, key, true) : result;
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

int EnDecryptSealHostKeyInPlace() {
  if (EnDecrypt::GetInstance() == nullptr) return endecrypt_status::kInternal;
  try {
    std::string path;
    const int result = endecrypt::ReadHostKeyPath(path);
    return result == endecrypt_status::kOk ? endecrypt::SealHostKeyInPlace(path) : result;
  } catch (const std::exception&) {
    return endecrypt_status::kInternal;  // nothing escapes the library
  }
}
