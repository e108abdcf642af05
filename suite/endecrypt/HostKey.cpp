#include "suite/endecrypt/HostKey.h"

#include <sodium.h>

#include <cstring>
#include <utility>
#include <vector>

#include "host/StoreVocabulary.h"
#include "suite/endecrypt/HostKeyProtection.h"
#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreContext.h"
#include "suite/endecrypt/StoreFiles.h"
#include "suite/endecrypt/StoreSettings.h"
#include "suite/secretmemory/SecretMemory.h"

namespace endecrypt {
namespace {

constexpr char kKeyIdPersonal[crypto_generichash_blake2b_PERSONALBYTES + 1] = "kelvox-hostkeyid";
constexpr std::size_t kKeyIdHashSize = crypto_generichash_blake2b_BYTES_MIN;
static_assert(HostKeyId::kSize <= kKeyIdHashSize);
static_assert(crypto_generichash_BYTES == 32);

// The innermost PreloadedHostKey of this thread, if any.
thread_local PreloadedHostKey* preloaded = nullptr;

}  // namespace

namespace {

// Stores in `hash` a hash of what the key file at `path` holds now, all
// zero when there is none, and with `file` the contents too. The read's
// failure when the file cannot be read as a key. Without `file` the
// contents are hashed where the file layer read them, and wiped there: no
// guarded copy is made of bytes that are only hashed.
FileResult HashKeyFile(StoreContext& context, const std::string& path, unsigned char* hash,
                       SecureBuffer* file = nullptr) {
  std::vector<unsigned char> read;
  const ScopedWipe wipe(read);
  SecureBuffer kept;
  std::memset(hash, 0, crypto_generichash_BYTES);
  const FileResult result =
      file != nullptr
          ? ReadSecretFile(context, path, kHostKeySize, kMaxHostKeyFileSize, kept)
          : context.GetFiles().ReadSecretFile(path, kHostKeySize, kMaxHostKeyFileSize, read);
  if (result == FileResult::kNotFound) return FileResult::kOk;
  if (result != FileResult::kOk) return result;
  const unsigned char* bytes = file != nullptr ? kept.data() : read.data();
  const std::size_t size = file != nullptr ? kept.size() : read.size();
  crypto_generichash(hash, crypto_generichash_BYTES, bytes, size, nullptr, 0);
  if (file != nullptr) *file = std::move(kept);
  return FileResult::kOk;
}

// A key file that cannot be read or trusted: no key material, and the
// check it failed.
StoreStatus RefusedHostKey(const FileResult& read) {
  return {endecrypt_status::kNoCredential,
          read.GetReason().empty() ? std::string() : "host key " + read.GetReason()};
}

}  // namespace

PreloadedHostKey::PreloadedHostKey(StoreContext& context, bool wanted)
    : context(context), previous(preloaded) {
  preloaded = this;
  ProtectionSettings settings;
  if (!wanted || ReadHostKeyPath(context, path) != endecrypt_status::kOk ||
      ReadProtectionSettings(context, settings) != endecrypt_status::kOk) {
    return;
  }
  SecureBuffer file;
  if (const FileResult hashed = HashKeyFile(context, path, file_hash, &file);
      hashed != FileResult::kOk) {
    status = RefusedHostKey(hashed);
    held = true;
    return;
  }
  hashed = true;
  if (file.size() != 0) {
    status = UnprotectHostKey(settings, std::move(file), key);
    held = true;
  }
}

PreloadedHostKey::~PreloadedHostKey() { preloaded = previous; }

const SecureBuffer* PreloadedHostKey::Peek(const std::string& wanted_path,
                                           StoreStatus& result) const {
  if (!held || wanted_path != path) return nullptr;
  result = status;
  return result == endecrypt_status::kOk ? &key : nullptr;
}

bool PreloadedHostKey::Take(const std::string& wanted_path, SecureBuffer& copy,
                            StoreStatus& result) const {
  if (!held || wanted_path != path) return false;
  const SecureBuffer* held_key = Peek(wanted_path, result);
  if (held_key != nullptr) {
    SecureBuffer out;
    if (out.Allocate(kHostKeySize)) {
      std::memcpy(out.data(), held_key->data(), kHostKeySize);
      copy = std::move(out);
    } else {
      result = endecrypt_status::kInternal;
    }
  }
  return true;
}

bool PreloadedHostKey::StillCurrent() const {
  if (!hashed) return true;  // nothing was loaded that could have gone stale
  unsigned char now[crypto_generichash_BYTES];
  return HashKeyFile(context, path, now) != FileResult::kOk ||
         sodium_memcmp(now, file_hash, sizeof(now)) == 0;
}

namespace {

// `result` of loading the host key at `path`, naming that file as its cause.
StoreStatus AboutKeyFile(StoreStatus result, const std::string& path) {
  return std::move(result).WithCause({StoreCause::Kind::kHostKey, "", path});
}

StoreStatus LoadKeyFile(StoreContext& context, const std::string& path, SecureBuffer& key) {
  ProtectionSettings settings;
  SecureBuffer file;
  StoreStatus result;
  if (preloaded != nullptr && preloaded->Take(path, key, result)) return result;
  if ((result = ReadProtectionSettings(context, settings)) != endecrypt_status::kOk) return result;
  const FileResult read = ReadSecretFile(context, path, kHostKeySize, kMaxHostKeyFileSize, file);
  if (read != FileResult::kOk) return RefusedHostKey(read);
  return UnprotectHostKey(settings, std::move(file), key);
}

StoreStatus LoadOrCreateKeyFile(StoreContext& context, const std::string& path, SecureBuffer& key) {
  ProtectionSettings settings;
  SecureBuffer file;
  StoreStatus result;
  if (preloaded != nullptr && preloaded->Take(path, key, result)) return result;
  if ((result = ReadProtectionSettings(context, settings)) != endecrypt_status::kOk) return result;
  const FileResult read = ReadSecretFile(context, path, kHostKeySize, kMaxHostKeyFileSize, file);
  if (read == FileResult::kOk) return UnprotectHostKey(settings, std::move(file), key);
  if (read != FileResult::kNotFound) return RefusedHostKey(read);
  SecureBuffer fresh;
  if (!fresh.Allocate(kHostKeySize)) return endecrypt_status::kInternal;
  randombytes_buf(fresh.data(), kHostKeySize);
  if ((result = ProtectHostKey(settings, fresh, file)) != endecrypt_status::kOk) return result;
  const FileResult created = CreateFileAtomically(context, path, file.data(), file.size());
  switch (created) {
    case FileResult::kOk: key = std::move(fresh); return endecrypt_status::kOk;
    case FileResult::kExists: return LoadHostKey(context, path, key);  // another process was first
    case FileResult::kBadPath:
      // A service account without a home folder meets this on its first
      // unattended write: say which setting moves the key.
      return {endecrypt_status::kWriteFailed,
              "host key " + created.GetReason() +
                  "; name a path this account may make with ENCRYPT_HOST_KEY_PATH in the "
                  "configuration"};
    default: return {endecrypt_status::kWriteFailed, "host key " + created.GetReason()};
  }
}

}  // namespace

StoreStatus LoadHostKey(StoreContext& context, const std::string& path, SecureBuffer& key) {
  return AboutKeyFile(LoadKeyFile(context, path, key), path);
}

StoreStatus LoadOrCreateHostKey(StoreContext& context, const std::string& path, SecureBuffer& key) {
  return AboutKeyFile(LoadOrCreateKeyFile(context, path, key), path);
}

StoreStatus ComputeHostKeyId(const SecureBuffer& key, HostKeyId& key_id) {
  unsigned char hash[kKeyIdHashSize];
  if (crypto_generichash_blake2b_salt_personal(
          hash, sizeof(hash), nullptr, 0, key.data(), kHostKeySize, nullptr,
          reinterpret_cast<const unsigned char*>(kKeyIdPersonal)) != 0) {
    return endecrypt_status::kInternal;
  }
  key_id = HostKeyId::FromBytes(hash);
  return endecrypt_status::kOk;
}

StoreStatus ComputeHostKeyIdAt(StoreContext& context, const std::string& path, HostKeyId& key_id) {
  StoreStatus result;
  if (preloaded != nullptr) {
    if (const SecureBuffer* key = preloaded->Peek(path, result)) {
      return ComputeHostKeyId(*key, key_id);
    }
    if (result != endecrypt_status::kOk) return result;
  }
  SecureBuffer key;
  if ((result = LoadHostKey(context, path, key)) != endecrypt_status::kOk) return result;
  return ComputeHostKeyId(key, key_id);
}

}  // namespace endecrypt
