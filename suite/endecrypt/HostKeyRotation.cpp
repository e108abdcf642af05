#include "suite/endecrypt/HostKeyRotation.h"

#include <sodium.h>

#include "host/EnDecrypt.h"
#include "suite/endecrypt/HostKey.h"
#include "suite/endecrypt/HostKeyProtection.h"
#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreFiles.h"
#include "suite/endecrypt/StoreFormat.h"
#include "suite/endecrypt/StoreSettings.h"

namespace endecrypt {
namespace {

namespace status = endecrypt_status;

constexpr char kOldSuffix[] = ".old";

[[nodiscard]] int HasKeyId(const SecureBuffer& key, const unsigned char* key_id, bool& same) {
  unsigned char id[kKeyIdSize];
  const int result = ComputeHostKeyId(key, id);
  same = result == status::kOk && sodium_memcmp(id, key_id, kKeyIdSize) == 0;
  return result;
}

}  // namespace

std::string GetOldHostKeyPath(const std::string& path) { return path + kOldSuffix; }

int LoadHostKeyById(const unsigned char* key_id, SecureBuffer& key) {
  std::string path;
  SecureBuffer current;
  bool same = false;
  int result = ReadHostKeyPath(path);
  if (result == status::kOk) result = LoadHostKey(path, current);
  if (result == status::kOk) result = HasKeyId(current, key_id, same);
  if (result != status::kOk) return result;
  if (same) {
    key = std::move(current);
    return status::kOk;
  }
  // Only a store sealed before an unfinished rotation gets here; any other
  // failure to use the old key is the store's, not the current key's.
  SecureBuffer old;
  if (LoadHostKey(GetOldHostKeyPath(path), old) != status::kOk ||
      HasKeyId(old, key_id, same) != status::kOk || !same) {
    return status::kWrongPassphrase;
  }
  key = std::move(old);
  return status::kOk;
}

int WriteHostKeyFile(const std::string& path, const ProtectionSettings& settings,
                     const SecureBuffer& key, bool replace) {
  SecureBuffer file;
  SecureBuffer check;
  int result = ProtectHostKey(settings, key, file);
  // Every unattended store of the host hangs on this file: it is written
  // only in a form proven to give the same key back.
  if (result == status::kOk) result = UnprotectHostKey(settings, file, check);
  if (result != status::kOk) return result;
  if (sodium_memcmp(check.data(), key.data(), kHostKeySize) != 0) return status::kInternal;
  const FileResult written = replace ? ReplaceFileAtomically(path, file.data(), file.size())
                                     : CreateFileAtomically(path, file.data(), file.size());
  return written == FileResult::kOk ? status::kOk : status::kWriteFailed;
}

// The states, each left whole by a kill: (1) no old key; (2) the old key a
// copy of the current one; (3) a new current key beside the old one. From
// (1) and (2) a run goes on to (3); from (3) it only finishes the stores.
int BeginRotation(const std::string& path, bool& resumed) {
  ProtectionSettings settings;
  SecureBuffer file;
  SecureBuffer current;
  SecureBuffer old;
  unsigned char key_id[kKeyIdSize];
  int result = ReadProtectionSettings(settings);
  if (result == status::kOk) result = LoadHostKey(path, current);
  if (result == status::kOk) result = ComputeHostKeyId(current, key_id);
  if (result != status::kOk) return result;
  const std::string old_path = GetOldHostKeyPath(path);
  switch (ReadSecretFile(old_path, kHostKeySize, kMaxHostKeyFileSize, file)) {
    case FileResult::kOk: {
      bool same = false;
      if ((result = UnprotectHostKey(settings, file, old)) != status::kOk ||
          (result = HasKeyId(old, key_id, same)) != status::kOk) {
        return result;
      }
      resumed = !same;
      if (resumed) return status::kOk;
      break;
    }
    case FileResult::kNotFound:
      // The old key is the current file's bytes as they are, sealed or not.
      if (ReadSecretFile(path, kHostKeySize, kMaxHostKeyFileSize, file) != FileResult::kOk) {
        return status::kNoCredential;
      }
      if (CreateFileAtomically(old_path, file.data(), file.size()) != FileResult::kOk) {
        return status::kWriteFailed;
      }
      break;
    default: return status::kNoCredential;  // an old key file that cannot be trusted
  }
  resumed = false;
  SecureBuffer fresh;
  if (!fresh.Allocate(kHostKeySize)) return status::kInternal;
  randombytes_buf(fresh.data(), kHostKeySize);
  return WriteHostKeyFile(path, settings, fresh, true);
}

}  // namespace endecrypt
