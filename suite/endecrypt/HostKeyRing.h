// The host key's ring: the current key at the configured path, and every
// key it ever replaced, kept beside it as "<host key>.kept-<key id in hex>"
// in the form the key file had (the same protection), until an
// administrator retires it. Every unattended store opens with whichever
// key of the ring its header's key id names, and a write seals it under the
// current key again. A rotation therefore never strands a store, named
// anywhere or not. Every change to the ring (rotate, seal, restore, retire)
// holds the ring's lock "<host key>.lock", so two changes never interleave.
// The states are described in docs/store-format.md.
#ifndef SUITE_ENDECRYPT_HOSTKEYRING_H_
#define SUITE_ENDECRYPT_HOSTKEYRING_H_

#include <string>
#include <vector>

#include "host/StoreVocabulary.h"
#include "suite/endecrypt/HostKeyProtection.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreFiles.h"

namespace endecrypt {

// Stores in `id` the id of `key` in hex (HostKeyId::ToHex). Returns kOk
// or the statuses of ComputeHostKeyId; `id` is untouched on failure.
[[nodiscard]] StoreStatus HexIdOf(const SecureBuffer& key, std::string& id);

// Where the ring of the key at `path` keeps the key with the hex id `id`.
std::string GetKeptHostKeyPath(const std::string& path, const std::string& id);

// True when the key the ring of `path` keeps as `id` opens and is the key
// with that id: a kept key is vouched for only once it has been opened.
bool OpensKeptHostKey(StoreContext& context, const std::string& path, const std::string& id);

// The hex ids of the keys the ring of the key at `path` keeps, in order.
std::vector<std::string> ListKeptHostKeyIds(StoreContext& context, const std::string& path);

// Adds to `keys` every key that the ring of the key at `path` keeps and
// that loads: the kept keys in order, then the previous key of a rotation
// an older version left unfinished. A kept key that does not load is
// passed over.
void LoadKeptHostKeys(StoreContext& context, const std::string& path,
                      std::vector<SecureBuffer>& keys);

// Takes the lock of every change to the ring of the key at `path`,
// without waiting. Returns kOk; kBusy when another change holds it;
// kWriteFailed when the lock file cannot be made.
[[nodiscard]] StoreStatus LockHostKeyRing(StoreContext& context, const std::string& path,
                                          ExclusiveLock& lock);

// Stores in `key` the key of the configured ring with the id `key_id`:
// the current key, a kept one, or the previous key of a
// rotation that an older version left unfinished ("<host key>.old").
// Returns kOk; kWrongPassphrase when the ring holds no such key; else the
// statuses of LoadHostKey for the current key. `key` is untouched on failure.
[[nodiscard]] StoreStatus LoadHostKeyById(StoreContext& context, const HostKeyId& key_id,
                                          SecureBuffer& key);

// Stores in `key` the configured current host key, made first when there
// is none (LoadOrCreateHostKey), and in `key_id` its id: the key a write
// seals under. Returns kOk, or the statuses of the settings and of
// LoadOrCreateHostKey. `key` and `key_id` are untouched on failure.
[[nodiscard]] StoreStatus LoadOrCreateCurrentHostKey(StoreContext& context, SecureBuffer& key,
                                                     HostKeyId& key_id);

// Sets `current` when `key_id` is the id of the configured host key.
// Returns kOk or the statuses of LoadHostKey.
[[nodiscard]] StoreStatus IsCurrentHostKeyId(StoreContext& context, const HostKeyId& key_id,
                                             bool& current);

// Writes `key` to the host key file at `path` under the protection of
// `settings`, after proving the sealed form unseals to the same key:
// replacing the file with `replace`, else only when there is none. Returns
// kOk, kWriteFailed (also for an existing file without `replace`), or the
// statuses of ProtectHostKey. On failure the old file is untouched.
[[nodiscard]] StoreStatus WriteHostKeyFile(StoreContext& context, const std::string& path,
                                           const ProtectionSettings& settings,
                                           const SecureBuffer& key, bool replace);

// Keeps the key at `path` in its ring (as its file is, and a key left at
// "<host key>.old" by an older version too) before the file is replaced by
// `replacement`'s key. With `replacement` null a fresh random key is made.
// The new file rests under `protection`, or under the protection the
// current file has when that is null; `used` tells which. A run killed at
// any point leaves every key of the ring in place. `kept_id` gets the hex
// id of the key kept. Returns kOk, or the statuses of LoadHostKey and
// WriteHostKeyFile.
// REQUIRES: the caller holds the ring's lock (LockHostKeyRing).
[[nodiscard]] StoreStatus ReplaceHostKey(StoreContext& context, const std::string& path,
                                         const Protection* protection,
                                         const SecureBuffer* replacement, std::string& kept_id,
                                         Protection& used);

// Removes the kept key with the hex id `id` from the ring of the key at
// `path`. Returns kOk, kRecordAbsent when the ring keeps no such key,
// kWriteFailed when it cannot be removed.
// REQUIRES: the caller holds the ring's lock (LockHostKeyRing).
[[nodiscard]] StoreStatus RemoveKeptHostKey(StoreContext& context, const std::string& path,
                                            const std::string& id);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_HOSTKEYRING_H_
