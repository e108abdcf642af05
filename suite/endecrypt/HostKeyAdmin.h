// The host key's administration, for the hostkey command: what the key is
// and how it rests, sealing it under another protection, rotating it, and
// a passphrase-protected backup with its restore. Every call reads the
// configuration afresh and returns a store status (host/EnDecrypt.h), with
// its reason when a file was refused; no key byte ever leaves the library
// except inside a backup file. Each call runs on `engine` (its file layer
// and settings, StoreEngine.h), or on the process's engine when it is null.
#ifndef SUITE_ENDECRYPT_HOSTKEYADMIN_H_
#define SUITE_ENDECRYPT_HOSTKEYADMIN_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "host/Export.h"
#include "host/StoreVocabulary.h"
#include "suite/age/AgeFormat.h"

namespace endecrypt {
class StoreEngine;
}

// The configured host key as found on disk.
struct HostKeyFacts {
  std::string path;
  std::string protection;  // a name of host/HostKeyProtection.h; empty when the file is not read
  std::string problem;     // why the key cannot be used; empty when it can
  bool untrusted = false;  // the key file or its folder fails the trust checks
  std::string key_id;      // the id unattended store headers carry, in hex; empty if unknown
  std::vector<std::string> kept_key_ids;  // the ids of the replaced keys the ring keeps
  // Those of them that do not open; filled by EnDecryptOpenKeptHostKeys.
  std::vector<std::string> damaged_key_ids;
};

// Fills `facts`. Returns kOk when the key is present, trusted and opens;
// otherwise the status LoadHostKey gives, with `facts.problem` saying why.
[[nodiscard]] ENDECRYPT_API StoreStatus
EnDecryptDescribeHostKey(HostKeyFacts& facts, endecrypt::StoreEngine* engine = nullptr);

// Opens each key `facts` (as EnDecryptDescribeHostKey filled it) lists as
// kept and stores in `facts.damaged_key_ids` those that do not open to the
// key they are named for: a kept key is vouched for only once opened. Each
// may be sealed, so only who vouches for them asks.
ENDECRYPT_API void EnDecryptOpenKeptHostKeys(HostKeyFacts& facts,
                                             endecrypt::StoreEngine* engine = nullptr);

// Stores in `path` the configured host key's path, without reading the key.
[[nodiscard]] ENDECRYPT_API StoreStatus
EnDecryptGetHostKeyPath(std::string& path, endecrypt::StoreEngine* engine = nullptr);

// Stores in `mode` the mode of the store at `path` and in `key_id` the hex
// id of the host key an unattended store is sealed under (empty for an
// attended one), as its header says, without authenticating anything.
[[nodiscard]] ENDECRYPT_API StoreStatus
EnDecryptReadStoreKeyId(const std::string& path, EncryptionMode& mode, std::string& key_id,
                        endecrypt::StoreEngine* engine = nullptr);

// Rewrites the configured host key file so the same key rests under
// `protection` (a name of host/HostKeyProtection.h; empty: the configured
// ENCRYPT_HOST_KEY_PROTECTION): seals a plain key, reseals a sealed one (to
// new PCRs, say) or turns it back into a plain file. The old file is
// replaced only by one that was unsealed back to the same key; on failure
// it is untouched. kBadConfiguration for an unknown name.
[[nodiscard]] ENDECRYPT_API StoreStatus
EnDecryptSealHostKeyAs(const std::string& protection, endecrypt::StoreEngine* engine = nullptr);

// Makes a new host key, keeping the current one in the ring beside it
// (HostKeyRing.h), resting under `protection` (a name of
// host/HostKeyProtection.h) or, when it is empty, under the protection the
// current key has; that name is stored in `used`, and the kept key's id in
// `kept_id`. Stores are
// then moved with EnDecrypt::Rekey(path, "", "") (any write moves them).
// kBusy while another change to the ring runs.
[[nodiscard]] ENDECRYPT_API StoreStatus
EnDecryptRotateHostKey(const std::string& protection, std::string& kept_id, std::string& used,
                       endecrypt::StoreEngine* engine = nullptr);

// Removes the kept key with the hex id `key_id` from the ring, unless one
// of `stores` is sealed under it: kKeyInUse then, with that store in
// `needed_by`, or kReadFailed with it when a store cannot be read to tell.
// Each store is read under its writers' lock, so a writer that is sealing
// is waited for. kRecordAbsent when the ring keeps no such key (the
// current key is never kept); kBusy while another change to the ring runs.
[[nodiscard]] ENDECRYPT_API StoreStatus
EnDecryptRetireHostKey(const std::string& key_id, const std::vector<std::string>& stores,
                       std::string& needed_by, endecrypt::StoreEngine* engine = nullptr);

// Stores in `recipient` this host's age recipient ("age1..."), whose
// identity is derived from the host key (docs/age.md) and never leaves the
// library; creates the host key first when there is none, as an
// unattended write would. Returns kOk or the statuses of
// LoadOrCreateHostKey.
[[nodiscard]] ENDECRYPT_API StoreStatus
EnDecryptGetHostRecipient(std::string& recipient, endecrypt::StoreEngine* engine = nullptr);

// Reads the plaintext of an age file, given while it exists: it is wiped
// and released by the library that made it when the call returns (on
// Windows each module has its own guarded allocator).
using AgePlaintextReader = std::function<void(const unsigned char* data, std::size_t size)>;

// Decrypts the age file of `size` bytes at `file` (binary or armored) with
// this host's age identity, or, when that opens none of its stanzas, with
// the identity of a key the ring keeps, so files encrypted to the
// recipient of a rotated-out key still open, then with the OpenSSH host
// key (SSH_HOST_KEY_PATH, else the system's when it is there: SshHostKey.h),
// and hands the plaintext to `read`. `tried` names, in order, the keys
// tried (an ssh host key that could not be used with why). On kOk `reason`
// is age::AgeStatus::kOk; kInvalidFile when the file does not open, with
// the age library's reason in `reason` (the file names no identity of this
// host: kNoMatchingIdentity); else, when the ssh host key did not open it
// either, the statuses of LoadHostKey for the current key (no host key:
// kNoCredential). No host key is created, and no identity leaves the
// library.
[[nodiscard]] ENDECRYPT_API StoreStatus
EnDecryptOpenAgeFile(const unsigned char* file, std::size_t size, const AgePlaintextReader& read,
                     age::AgeStatus& reason, std::vector<std::string>& tried,
                     endecrypt::StoreEngine* engine = nullptr);

// Writes the host key, unsealed in memory, to a new owner-only file
// `output` wrapped under `passphrase` (Argon2id at the configured costs,
// at least the defaults). kWriteFailed when `output` exists.
[[nodiscard]] ENDECRYPT_API StoreStatus
EnDecryptBackupHostKey(const std::string& output, const std::string& passphrase,
                       endecrypt::StoreEngine* engine = nullptr);

// Unwraps the backup `input` with `passphrase` and writes the key as the
// configured host key under `protection` (empty: the configured one),
// replacing an existing key only with `force` (kWriteFailed otherwise);
// a replaced key stays in the ring (its id, if it opens, in `kept_id`).
// kWrongPassphrase or kInvalidFile for a backup that does not open; the
// host key is untouched on any failure.
[[nodiscard]] ENDECRYPT_API StoreStatus EnDecryptRestoreHostKey(
    const std::string& input, const std::string& passphrase, const std::string& protection,
    bool force, std::string& kept_id, endecrypt::StoreEngine* engine = nullptr);

#endif  // SUITE_ENDECRYPT_HOSTKEYADMIN_H_
