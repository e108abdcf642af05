#include "suite/endecrypt/HostKeyAdmin.h"

#include <sodium.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "suite/age/AgeFormat.h"
#include "suite/endecrypt/Guarded.h"
#include "suite/endecrypt/HostKey.h"
#include "suite/endecrypt/HostKeyBackup.h"
#include "suite/endecrypt/HostKeyProtection.h"
#include "suite/endecrypt/HostKeyRing.h"
#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/SshHostKey.h"
#include "suite/endecrypt/StoreFiles.h"
#include "suite/endecrypt/StoreEngine.h"
#include "suite/endecrypt/StoreFormat.h"
#include "suite/endecrypt/StoreReading.h"
#include "suite/endecrypt/StoreSettings.h"

namespace {

using endecrypt::FileResult;
using endecrypt::SecureBuffer;
using endecrypt::StoreContext;
namespace status = endecrypt_status;

const char* DescribeReadFailure(FileResult result) {
  switch (result) {
    case FileResult::kNotFound: return "there is no key file";
    case FileResult::kWrongSize: return "not a regular file of a host key's size";
    case FileResult::kUntrusted:
      return "not trusted: a link, another owner, or open to group or others (file or folder)";
    case FileResult::kBadPath: return "no file can be at the path";
    default: return "the file cannot be read";
  }
}

// How a key file's bytes say the key rests.
std::string ProtectionOf(const SecureBuffer& file) {
  endecrypt::Protection protection;
  return endecrypt::ReadFileProtection(file, protection)
             ? endecrypt::GetProtectionName(protection)
             : "unknown";
}

// Why the key file contents `file` did not open, naming the sealer and
// where it was reached.
std::string DescribeOpenFailure(StoreContext& context, const SecureBuffer& file) {
  endecrypt::Protection protection;
  endecrypt::ProtectionSettings settings;
  if (endecrypt::ReadFileProtection(file, protection) &&
      endecrypt::ReadProtectionSettings(context, settings) == status::kOk) {
    if (protection == endecrypt::Protection::kTpm2) {
      return "the TPM at " + settings.tpm2_tcti + " did not unseal it: it is not running or " +
             "not answering, is another TPM, or the PCRs it is bound to changed (the log says " +
             "which)";
    }
    if (protection == endecrypt::Protection::kDpapi) {
      return "Windows DPAPI did not unseal it: it was sealed by another user or on another "
             "machine (the log says why)";
    }
  }
  return "the key does not open (the log says why)";
}

// The id of the key at `path` in hex, or empty when it does not open.
std::string KeyIdAt(StoreContext& context, const std::string& path) {
  SecureBuffer key;
  std::string id;
  if (endecrypt::LoadHostKey(context, path, key) != status::kOk ||
      endecrypt::HexIdOf(key, id) != status::kOk) {
    return "";
  }
  return id;
}

[[nodiscard]] StoreStatus DescribeHostKey(StoreContext& context, HostKeyFacts& facts) {
  HostKeyFacts found;
  StoreStatus result = endecrypt::ReadHostKeyPath(context, found.path);
  if (result != status::kOk) {
    found.problem = "the configuration names no usable host key path";
    facts = found;
    return result;
  }
  SecureBuffer file;
  const FileResult read = endecrypt::ReadSecretFile(context, found.path, endecrypt::kHostKeySize,
                                                    endecrypt::kMaxHostKeyFileSize, file);
  result = status::kNoCredential;
  if (read != FileResult::kOk) {
    if (!read.GetReason().empty()) result = {status::kNoCredential, "host key " + read.GetReason()};
    found.problem = DescribeReadFailure(read);
    found.untrusted = read == FileResult::kUntrusted;
  } else {
    found.protection = ProtectionOf(file);
    found.key_id = KeyIdAt(context, found.path);
    if (found.key_id.empty()) {
      found.problem = DescribeOpenFailure(context, file);
    } else {
      result = status::kOk;
    }
  }
  found.kept_key_ids = endecrypt::ListKeptHostKeyIds(context, found.path);
  facts = found;
  return result;
}

[[nodiscard]] StoreStatus ReadStoreKeyId(StoreContext& context, const std::string& path,
                                         EncryptionMode& mode, std::string& key_id) {
  endecrypt::StoreHeader header;
  const StoreStatus result = endecrypt::ReadStoreHeader(context, path, header);
  if (result != status::kOk) return result;
  mode = header.mode;
  key_id = header.mode == kUnattendedMode ? header.key_id.ToHex() : "";
  return status::kOk;
}

// The configured host key's path with the ring's lock taken in `lock`.
[[nodiscard]] StoreStatus LockRing(StoreContext& context, std::string& path,
                                   endecrypt::ExclusiveLock& lock) {
  const StoreStatus result = endecrypt::ReadHostKeyPath(context, path);
  return result == status::kOk ? endecrypt::LockHostKeyRing(context, path, lock) : result;
}

[[nodiscard]] StoreStatus SealHostKeyAs(StoreContext& context, const std::string& name) {
  endecrypt::ProtectionSettings settings;
  std::string path;
  endecrypt::ExclusiveLock lock;
  SecureBuffer key;
  SecureBuffer audit_key;
  StoreStatus result = endecrypt::ReadProtectionSettings(context, settings);
  if (result == status::kOk && !name.empty() &&
      !endecrypt::ParseProtectionName(name, settings.protection)) {
    result = status::kBadConfiguration;
  }
  if (result == status::kOk) result = LockRing(context, path, lock);
  if (result == status::kOk) result = endecrypt::LoadHostKey(context, path, key);
  if (result != status::kOk) return result;
  return endecrypt::WriteHostKeyFile(context, path, settings, key, true);
}

[[nodiscard]] StoreStatus RotateHostKey(StoreContext& context, const std::string& name,
                                        std::string& kept_id, std::string& used) {
  endecrypt::Protection protection;
  if (!name.empty() && !endecrypt::ParseProtectionName(name, protection)) {
    return status::kBadConfiguration;
  }
  std::string path;
  endecrypt::ExclusiveLock lock;
  endecrypt::Protection chosen;
  StoreStatus result = LockRing(context, path, lock);
  if (result == status::kOk) {
    result = endecrypt::ReplaceHostKey(context, path, name.empty() ? nullptr : &protection, nullptr,
                                       kept_id, chosen);
  }
  if (result == status::kOk) used = endecrypt::GetProtectionName(chosen);
  return result;
}

// Sets `needs` when the store at `path` is sealed under the key `key_id`.
// A store is read under its writers' lock where its folder exists, so a
// writer sealing it now under that key is waited for; no folder is made.
[[nodiscard]] StoreStatus StoreNeedsKey(StoreContext& context, const std::string& path,
                                        const std::string& key_id, bool& needs) {
  needs = false;
  // Whether anything is there, asked of the file layer first: the locked
  // read below would make the folders of a store it does not find.
  std::vector<unsigned char> head;
  std::uint64_t size = 0;
  const FileResult seen =
      endecrypt::ReadFileHead(context, path, endecrypt::kMaxStoreSize, 0, head, size);
  if (seen == FileResult::kNotFound) return status::kOk;
  // Read under the store's writers' lock: a write that began before the
  // key was retired lands first, and its store is judged as it left it.
  std::vector<unsigned char> file;
  endecrypt::LockedFile lock;
  const FileResult read =
      endecrypt::LockAndReadFile(context, path, endecrypt::kMaxStoreSize, lock, file);
  switch (read) {
    case FileResult::kOk: break;
    case FileResult::kNotFound: return status::kOk;
    default: return {status::kReadFailed, read.GetReason()};
  }
  endecrypt::StoreHeader header;
  const StoreStatus result = endecrypt::DecodeHeader(file.data(), file.size(), header);
  if (result != status::kOk) return status::kReadFailed;
  needs = header.mode == kUnattendedMode && header.key_id.ToHex() == key_id;
  return status::kOk;
}

[[nodiscard]] StoreStatus RetireHostKey(StoreContext& context, const std::string& key_id,
                                        const std::vector<std::string>& stores,
                                        std::string& needed_by) {
  std::string path;
  endecrypt::ExclusiveLock lock;
  StoreStatus result = LockRing(context, path, lock);
  if (result != status::kOk) return result;
  const std::vector<std::string> kept = endecrypt::ListKeptHostKeyIds(context, path);
  if (std::find(kept.begin(), kept.end(), key_id) == kept.end()) return status::kRecordAbsent;
  for (const std::string& store : stores) {
    bool needs = false;
    if ((result = StoreNeedsKey(context, store, key_id, needs)) != status::kOk || needs) {
      needed_by = store;
      return needs ? StoreStatus(status::kKeyInUse) : result;
    }
  }
  return endecrypt::RemoveKeptHostKey(context, path, key_id);
}

[[nodiscard]] StoreStatus GetHostRecipient(StoreContext& context, std::string& recipient) {
  std::string path;
  SecureBuffer key;
  SecureBuffer seed;
  StoreStatus result = endecrypt::ReadHostKeyPath(context, path);
  if (result == status::kOk) result = endecrypt::LoadOrCreateHostKey(context, path, key);
  if (result == status::kOk) result = endecrypt::DeriveAgeIdentitySeed(key, seed);
  if (result != status::kOk) return result;
  age::Identity identity;
  if (age::MakeIdentityFromSeed(seed.data(), identity) != age::AgeStatus::kOk) {
    return status::kInternal;
  }
  recipient = age::FormatRecipient(identity);
  return status::kOk;
}

// Appends to `identities` the age identity of each key of `keys`.
[[nodiscard]] StoreStatus AddIdentities(const std::vector<SecureBuffer>& keys,
                                        std::vector<age::Identity>& identities) {
  for (const SecureBuffer& key : keys) {
    SecureBuffer seed;
    age::Identity identity;
    if (endecrypt::DeriveAgeIdentitySeed(key, seed) != status::kOk ||
        age::MakeIdentityFromSeed(seed.data(), identity) != age::AgeStatus::kOk) {
      return status::kInternal;
    }
    identities.push_back(std::move(identity));
  }
  return status::kOk;
}

[[nodiscard]] StoreStatus OpenAgeFile(StoreContext& context, const unsigned char* file,
                                      std::size_t size, const AgePlaintextReader& read,
                                      age::AgeStatus& reason, std::vector<std::string>& tried) {
  age::SecretBytes plaintext;
  std::string path;
  std::vector<SecureBuffer> keys(1);
  StoreStatus result = endecrypt::ReadHostKeyPath(context, path);
  if (result == status::kOk) result = endecrypt::LoadHostKey(context, path, keys.front());
  std::vector<age::Identity> identities;
  if (result == status::kOk) result = AddIdentities(keys, identities);
  if (result == status::kInternal) return result;
  reason = age::AgeStatus::kNoMatchingIdentity;
  if (result == status::kOk) {
    tried.push_back("the age identity of the host key " + path);
    reason = age::DecryptWithIdentities(identities, file, size, plaintext);
    // The kept keys are unsealed only for a file the current key cannot open.
    if (reason == age::AgeStatus::kNoMatchingIdentity) {
      keys.clear();
      endecrypt::LoadKeptHostKeys(context, path, keys);
      identities.clear();
      if (AddIdentities(keys, identities) != status::kOk) return status::kInternal;
      if (!identities.empty()) {
        tried.push_back(std::to_string(identities.size()) + " kept host key" +
                        (identities.size() == 1 ? "" : "s"));
        reason = age::DecryptWithIdentities(identities, file, size, plaintext);
      }
    }
  }
  // Then the OpenSSH host key, also on a host with no host key of its own:
  // a file encrypted to it needs none.
  if (reason == age::AgeStatus::kNoMatchingIdentity) {
    identities.clear();
    std::string ssh_key;
    const bool loaded = endecrypt::LoadSshHostIdentity(context, identities, ssh_key);
    if (!ssh_key.empty()) tried.push_back(ssh_key);
    if (loaded) {
      reason = age::DecryptWithIdentities(identities, file, size, plaintext);
      if (reason == age::AgeStatus::kOk) result = status::kOk;
    }
  }
  if (result != status::kOk) return result;  // the host key's own failure
  if (reason == age::AgeStatus::kInternal) return status::kInternal;
  if (reason != age::AgeStatus::kOk) return status::kInvalidFile;
  read(plaintext.data(), plaintext.size());
  return status::kOk;
}

[[nodiscard]] StoreStatus BackupHostKey(StoreContext& context, const std::string& output,
                                        const std::string& passphrase) {
  std::string path;
  SecureBuffer key;
  SecureBuffer audit_key;
  endecrypt::KdfCosts costs;
  StoreStatus result = endecrypt::ReadHostKeyPath(context, path);
  if (result == status::kOk) result = endecrypt::LoadHostKey(context, path, key);
  if (result == status::kOk) result = endecrypt::ReadAuditKeyBeside(context, path, audit_key);
  if (result == status::kOk) result = endecrypt::ReadKdfCosts(context, costs);
  if (result != status::kOk) return result;
  // The backup may travel and be attacked offline for years: never below
  // the defaults, even when the configuration lowers the stores' costs.
  costs.opslimit = std::max(costs.opslimit, endecrypt::kDefaultOpsLimit);
  costs.memlimit = std::max(costs.memlimit, endecrypt::kDefaultMemLimit);
  unsigned char salt[endecrypt::kSaltSize];
  unsigned char nonce[endecrypt::kNonceSize];
  randombytes_buf(salt, sizeof(salt));
  randombytes_buf(nonce, sizeof(nonce));
  std::vector<unsigned char> backup;
  result = endecrypt::WrapHostKey(key, audit_key, passphrase, costs, salt, nonce, backup);
  if (result != status::kOk) return result;
  return endecrypt::FromWriteResult(
      endecrypt::CreateFileAtomically(context, output, backup.data(), backup.size()));
}

[[nodiscard]] StoreStatus RestoreHostKey(StoreContext& context, const std::string& input,
                                         const std::string& passphrase, const std::string& name,
                                         bool force, std::string& kept_id) {
  endecrypt::ProtectionSettings settings;
  std::string path;
  endecrypt::ExclusiveLock lock;
  std::vector<unsigned char> backup;
  SecureBuffer key;
  SecureBuffer audit_key;
  StoreStatus result = endecrypt::ReadProtectionSettings(context, settings);
  if (result == status::kOk && !name.empty() &&
      !endecrypt::ParseProtectionName(name, settings.protection)) {
    result = status::kBadConfiguration;
  }
  if (result == status::kOk) result = LockRing(context, path, lock);
  if (result != status::kOk) return result;
  result = endecrypt::FromReadResult(
      endecrypt::ReadWholeFile(context, input, endecrypt::kBackupWithAuditKeySize, backup));
  if (result != status::kOk) return result;
  result = endecrypt::UnwrapHostKey(backup.data(), backup.size(), passphrase, key, &audit_key);
  if (result == status::kOk) result = endecrypt::PlaceAuditKeyBeside(context, path, audit_key);
  if (result != status::kOk) return result;
  if (!force) return endecrypt::WriteHostKeyFile(context, path, settings, key, false);
  // The key replaced stays in the ring: a store sealed under it still opens.
  endecrypt::Protection used;
  return endecrypt::ReplaceHostKey(context, path, &settings.protection, &key, kept_id, used);
}

// Runs `operation` on the engine named, else the process's, handing it
// that engine's context.
template <typename Operation>
[[nodiscard]] StoreStatus RunOn(endecrypt::StoreEngine* engine, Operation operation) {
  endecrypt::StoreEngine& on = engine != nullptr ? *engine : endecrypt::StoreEngine::Default();
  return on.Run([&] { return operation(on.GetContext()); });
}

}  // namespace

StoreStatus EnDecryptDescribeHostKey(HostKeyFacts& facts, endecrypt::StoreEngine* engine) {
  return RunOn(engine, [&](StoreContext& context) { return DescribeHostKey(context, facts); });
}

void EnDecryptOpenKeptHostKeys(HostKeyFacts& facts, endecrypt::StoreEngine* engine) {
  static_cast<void>(RunOn(engine, [&facts](StoreContext& context) {
    facts.damaged_key_ids.clear();
    for (const std::string& id : facts.kept_key_ids) {
      if (!endecrypt::OpensKeptHostKey(context, facts.path, id))
        facts.damaged_key_ids.push_back(id);
    }
    return StoreStatus();
  }));
}

StoreStatus EnDecryptGetHostKeyPath(std::string& path, endecrypt::StoreEngine* engine) {
  return RunOn(
      engine, [&path](StoreContext& context) { return endecrypt::ReadHostKeyPath(context, path); });
}

StoreStatus EnDecryptReadStoreKeyId(const std::string& path, EncryptionMode& mode,
                                    std::string& key_id, endecrypt::StoreEngine* engine) {
  return RunOn(engine,
               [&](StoreContext& context) { return ReadStoreKeyId(context, path, mode, key_id); });
}

StoreStatus EnDecryptSealHostKeyAs(const std::string& protection, endecrypt::StoreEngine* engine) {
  return RunOn(engine, [&](StoreContext& context) { return SealHostKeyAs(context, protection); });
}

StoreStatus EnDecryptRotateHostKey(const std::string& protection, std::string& kept_id,
                                   std::string& used, endecrypt::StoreEngine* engine) {
  return RunOn(engine, [&](StoreContext& context) {
    return RotateHostKey(context, protection, kept_id, used);
  });
}

StoreStatus EnDecryptRetireHostKey(const std::string& key_id,
                                   const std::vector<std::string>& stores, std::string& needed_by,
                                   endecrypt::StoreEngine* engine) {
  return RunOn(engine, [&](StoreContext& context) {
    return RetireHostKey(context, key_id, stores, needed_by);
  });
}

StoreStatus EnDecryptGetHostRecipient(std::string& recipient, endecrypt::StoreEngine* engine) {
  return RunOn(engine, [&](StoreContext& context) { return GetHostRecipient(context, recipient); });
}

StoreStatus EnDecryptOpenAgeFile(const unsigned char* file, std::size_t size,
                                 const AgePlaintextReader& read, age::AgeStatus& reason,
                                 std::vector<std::string>& tried, endecrypt::StoreEngine* engine) {
  reason = age::AgeStatus::kInternal;
  tried.clear();
  return RunOn(engine, [&](StoreContext& context) {
    return OpenAgeFile(context, file, size, read, reason, tried);
  });
}

StoreStatus EnDecryptBackupHostKey(const std::string& output, const std::string& passphrase,
                                   endecrypt::StoreEngine* engine) {
  return RunOn(engine,
               [&](StoreContext& context) { return BackupHostKey(context, output, passphrase); });
}

StoreStatus EnDecryptRestoreHostKey(const std::string& input, const std::string& passphrase,
                                    const std::string& protection, bool force, std::string& kept_id,
                                    endecrypt::StoreEngine* engine) {
  return RunOn(engine, [&](StoreContext& context) {
    return RestoreHostKey(context, input, passphrase, protection, force, kept_id);
  });
}
