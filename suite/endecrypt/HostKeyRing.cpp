#include "suite/endecrypt/HostKeyRing.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>

#include "host/StoreVocabulary.h"
#include "suite/endecrypt/HostKey.h"
#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreSettings.h"

namespace endecrypt {
namespace {

namespace status = endecrypt_status;

constexpr char kKeptSuffix[] = ".kept-";
constexpr char kOldSuffix[] = ".old";  // what older versions kept during a rotation
constexpr char kLockSuffix[] = ".lock";
// A key file that no longer opens is still kept when replaced, under a name
// no key id can take.
constexpr char kUnopenedPrefix[] = "unopened-";
constexpr std::size_t kUnopenedRandomSize = 8;

// Loads the key file at `path` when it holds the key with the hex id `id`.
[[nodiscard]] bool LoadIfId(StoreContext& context, const std::string& path, const std::string& id,
                            SecureBuffer& key) {
  SecureBuffer loaded;
  std::string found;
  if (LoadHostKey(context, path, loaded) != status::kOk || HexIdOf(loaded, found) != status::kOk ||
      found != id) {
    return false;
  }
  key = std::move(loaded);
  return true;
}

// Keeps the key file contents `file`, whose key has the hex id `id`, in
// the ring of `path`. A kept file already there holds that key: it was
// named after it.
[[nodiscard]] StoreStatus Keep(StoreContext& context, const std::string& path,
                               const std::string& id, const SecureBuffer& file) {
  const FileResult kept =
      CreateFileAtomically(context, GetKeptHostKeyPath(path, id), file.data(), file.size());
  if (kept == FileResult::kOk || kept == FileResult::kExists) return status::kOk;
  return FromWriteResult(kept);
}

// Moves the previous key of a rotation an older version left unfinished
// into the ring, so one kind of kept key remains.
[[nodiscard]] StoreStatus FoldOldKey(StoreContext& context, const std::string& path,
                                     const ProtectionSettings& settings) {
  const std::string old_path = path + kOldSuffix;
  SecureBuffer file;
  SecureBuffer key;
  std::string id;
  const FileResult read =
      ReadSecretFile(context, old_path, kHostKeySize, kMaxHostKeyFileSize, file);
  if (read == FileResult::kNotFound) return status::kOk;
  // Left where it is, untrusted.
  if (read != FileResult::kOk)
    return {status::kNoCredential, "previous host key " + read.GetReason()};
  StoreStatus result = UnprotectHostKey(settings, file, key);
  if (result == status::kOk) result = HexIdOf(key, id);
  if (result == status::kOk) result = Keep(context, path, id, file);
  if (result != status::kOk) return result;
  const FileResult removed = RemoveFile(context, old_path);
  if (removed == FileResult::kOk || removed == FileResult::kNotFound) return status::kOk;
  return FromWriteResult(removed);
}

}  // namespace

StoreStatus HexIdOf(const SecureBuffer& key, std::string& id) {
  HostKeyId key_id;
  StoreStatus result = ComputeHostKeyId(key, key_id);
  if (result == status::kOk) id = key_id.ToHex();
  return result;
}

std::string GetKeptHostKeyPath(const std::string& path, const std::string& id) {
  return path + kKeptSuffix + id;
}

std::vector<std::string> ListKeptHostKeyIds(StoreContext& context, const std::string& path) {
  std::vector<std::string> ids;
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t prefix_size =
      path.size() - (slash == std::string::npos ? 0 : slash + 1) + sizeof(kKeptSuffix) - 1;
  for (const std::string& name : ListFilesNamed(context, path, kKeptSuffix)) {
    std::string id = name.substr(prefix_size);
    if (HostKeyId::IsHex(id)) ids.push_back(std::move(id));
  }
  return ids;
}

bool OpensKeptHostKey(StoreContext& context, const std::string& path, const std::string& id) {
  SecureBuffer key;
  return LoadIfId(context, GetKeptHostKeyPath(path, id), id, key);
}

void LoadKeptHostKeys(StoreContext& context, const std::string& path,
                      std::vector<SecureBuffer>& keys) {
  std::vector<std::string> files;
  for (const std::string& id : ListKeptHostKeyIds(context, path))
    files.push_back(GetKeptHostKeyPath(path, id));
  files.push_back(path + kOldSuffix);
  for (const std::string& file : files) {
    SecureBuffer key;
    if (LoadHostKey(context, file, key) == status::kOk) keys.push_back(std::move(key));
  }
}

StoreStatus LockHostKeyRing(StoreContext& context, const std::string& path, ExclusiveLock& lock) {
  const FileResult locked = endecrypt::TakeExclusiveLock(context, path + kLockSuffix, lock);
  switch (locked) {
    case FileResult::kOk: return status::kOk;
    case FileResult::kBusy: return status::kBusy;
    default: return FromWriteResult(locked);
  }
}

StoreStatus LoadHostKeyById(StoreContext& context, const HostKeyId& key_id, SecureBuffer& key) {
  std::string path;
  SecureBuffer current;
  std::string current_id;
  StoreStatus result = ReadHostKeyPath(context, path);
  if (result == status::kOk) result = LoadHostKey(context, path, current);
  if (result == status::kOk) result = HexIdOf(current, current_id);
  if (result != status::kOk) return result;
  const std::string id = key_id.ToHex();
  if (current_id == id) {
    key = std::move(current);
    return status::kOk;
  }
  // A store sealed under a key the ring keeps: that key must open, and a
  // kept key that does not is named as damaged, not taken for another
  // host's key (which is the store's fault: a wrong passphrase).
  const std::vector<std::string> kept = ListKeptHostKeyIds(context, path);
  if (std::find(kept.begin(), kept.end(), id) != kept.end()) {
    const std::string kept_path = GetKeptHostKeyPath(path, id);
    if (LoadIfId(context, kept_path, id, key)) return status::kOk;
    return {status::kNoCredential,
            "kept host key " + kept_path + " is damaged: it does not open to the key it is named for",
            {StoreCause::Kind::kKeptKeyDamaged, id, kept_path}};
  }
  if (LoadIfId(context, path + kOldSuffix, id, key)) return status::kOk;
  return {status::kWrongPassphrase, "", {StoreCause::Kind::kHostKeyNotHeld, id, ""}};
}

StoreStatus LoadOrCreateCurrentHostKey(StoreContext& context, SecureBuffer& key,
                                       HostKeyId& key_id) {
  std::string path;
  SecureBuffer loaded;
  HostKeyId id;
  StoreStatus result = ReadHostKeyPath(context, path);
  if (result == status::kOk) result = LoadOrCreateHostKey(context, path, loaded);
  if (result == status::kOk) result = ComputeHostKeyId(loaded, id);
  if (result != status::kOk) return result;
  key = std::move(loaded);
  key_id = id;
  return status::kOk;
}

StoreStatus IsCurrentHostKeyId(StoreContext& context, const HostKeyId& key_id, bool& current) {
  std::string path;
  HostKeyId id;
  StoreStatus result = ReadHostKeyPath(context, path);
  if (result == status::kOk) result = ComputeHostKeyIdAt(context, path, id);
  current = result == status::kOk && id == key_id;
  return result;
}

StoreStatus WriteHostKeyFile(StoreContext& context, const std::string& path,
                             const ProtectionSettings& settings, const SecureBuffer& key,
                             bool replace) {
  SecureBuffer file;
  SecureBuffer check;
  StoreStatus result = ProtectHostKey(settings, key, file);
  // Every unattended store of the host hangs on this file: it is written
  // only in a form proven to give the same key back.
  if (result == status::kOk) result = UnprotectHostKey(settings, file, check);
  if (result != status::kOk) return result;
  if (sodium_memcmp(check.data(), key.data(), kHostKeySize) != 0) return status::kInternal;
  // Written only where it would be trusted when read: not through a link,
  // not into a folder others may write (the reason names the check).
  SecureBuffer existing;
  const FileResult trusted = ReadSecretFile(context, path, 0, kMaxHostKeyFileSize, existing);
  if (trusted == FileResult::kUntrusted) {
    return {status::kNoCredential, "host key " + trusted.GetReason()};
  }
  const FileResult written = replace
                                 ? ReplaceFileAtomically(context, path, file.data(), file.size())
                                 : CreateFileAtomically(context, path, file.data(), file.size());
  return FromWriteResult(written);
}

// The states, each left whole by a kill: (1) the current key alone; (2) the
// current key and a kept copy of it; (3) a new current key, the old one
// kept. A second run from (2) makes another new key, from the same state.
StoreStatus ReplaceHostKey(StoreContext& context, const std::string& path,
                           const Protection* protection, const SecureBuffer* replacement,
                           std::string& kept_id, Protection& used) {
  ProtectionSettings settings;
  SecureBuffer file;
  SecureBuffer current;
  StoreStatus result = ReadProtectionSettings(context, settings);
  if (result == status::kOk) result = FoldOldKey(context, path, settings);
  if (result != status::kOk) return result;
  kept_id.clear();
  const FileResult read = ReadSecretFile(context, path, kHostKeySize, kMaxHostKeyFileSize, file);
  switch (read) {
    case FileResult::kOk:
      if (!ReadFileProtection(file, settings.protection) && protection == nullptr) {
        return status::kNoCredential;
      }
      result = UnprotectHostKey(settings, file, current);
      if (result == status::kOk) {
        if ((result = HexIdOf(current, kept_id)) != status::kOk) return result;
      } else if (replacement == nullptr) {
        return result;  // a rotation needs the key it replaces to open
      } else {
        // A key that no longer opens here (another TPM) may open elsewhere.
        unsigned char random[kUnopenedRandomSize];
        randombytes_buf(random, sizeof(random));
        kept_id = kUnopenedPrefix + HostKeyId::ToHex(random, sizeof(random));
      }
      break;
    case FileResult::kNotFound: break;
    // A key file that cannot be trusted.
    default: return {status::kNoCredential, "host key " + read.GetReason()};
  }
  if (protection != nullptr) settings.protection = *protection;
  used = settings.protection;
  SecureBuffer fresh;
  if (replacement == nullptr) {
    if (!fresh.Allocate(kHostKeySize)) return status::kInternal;
    randombytes_buf(fresh.data(), kHostKeySize);
    replacement = &fresh;
  }
  std::string new_id;
  if ((result = HexIdOf(*replacement, new_id)) != status::kOk) return result;
  if (!kept_id.empty() && kept_id != new_id &&
      (result = Keep(context, path, kept_id, file)) != status::kOk) {
    return result;
  }
  if (kept_id == new_id) kept_id.clear();  // the same key, only resting anew
  return WriteHostKeyFile(context, path, settings, *replacement, true);
}

StoreStatus RemoveKeptHostKey(StoreContext& context, const std::string& path,
                              const std::string& id) {
  if (!HostKeyId::IsHex(id)) return status::kRecordAbsent;
  const FileResult removed = RemoveFile(context, GetKeptHostKeyPath(path, id));
  switch (removed) {
    case FileResult::kOk: return status::kOk;
    case FileResult::kNotFound: return status::kRecordAbsent;
    default: return FromWriteResult(removed);
  }
}

}  // namespace endecrypt
