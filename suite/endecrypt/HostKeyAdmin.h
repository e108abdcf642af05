// The host key's administration, for the hostkey command: what the key is
// and how it rests, sealing it under another protection, rotating it, and
// a passphrase-protected backup with its restore. Every call reads the
// configuration afresh and returns a store status (host/EnDecrypt.h); no
// key byte ever leaves the library except inside a backup file.
#ifndef SUITE_ENDECRYPT_HOSTKEYADMIN_H_
#define SUITE_ENDECRYPT_HOSTKEYADMIN_H_

#include <string>

#include "host/EnDecrypt.h"

// The configured host key as found on disk.
struct HostKeyFacts {
  std::string path;
  std::string protection;  // "file", "tpm2" or "dpapi"; empty when the file is not read
  std::string problem;     // why the key cannot be used; empty when it can
  std::string key_id;      // the id unattended store headers carry, in hex; empty if unknown
  std::string old_key_id;  // the previous key's id while a rotation is unfinished, else empty
};

// Fills `facts`. Returns kOk when the key is present, trusted and opens;
// otherwise the status LoadHostKey gives, with `facts.problem` saying why.
[[nodiscard]] ENDECRYPT_API int EnDecryptDescribeHostKey(HostKeyFacts& facts);

// Stores in `mode` the mode of the store at `path` and in `key_id` the hex
// id of the host key an unattended store is sealed under (empty for an
// attended one), as its header says, without authenticating anything.
[[nodiscard]] ENDECRYPT_API int EnDecryptReadStoreKeyId(const std::string& path, int& mode,
                                                        std::string& key_id);

// Re-seals the configured host key under `protection` ("file", "tpm2",
// "dpapi"), as EnDecryptSealHostKeyInPlace does with the configured one.
// kBadConfiguration for an unknown name.
[[nodiscard]] ENDECRYPT_API int EnDecryptSealHostKeyAs(const std::string& protection);

// Makes a new host key, keeping the current one as the old key, or, when a
// rotation is unfinished, keeps both as they are (`resumed` true). Stores
// are then moved with EnDecrypt::Rekey(path, "", "").
[[nodiscard]] ENDECRYPT_API int EnDecryptBeginHostKeyRotation(bool& resumed);

// Removes the old key of a finished rotation; kOk when there is none.
// WARNING: stores still sealed under it open no more afterwards.
[[nodiscard]] ENDECRYPT_API int EnDecryptEndHostKeyRotation();

// Writes the host key, unsealed in memory, to a new owner-only file
// `output` wrapped under `passphrase` (Argon2id at the configured costs,
// at least the defaults). kWriteFailed when `output` exists.
[[nodiscard]] ENDECRYPT_API int EnDecryptBackupHostKey(const std::string& output,
                                                       const std::string& passphrase);

// Unwraps the backup `input` with `passphrase` and writes the key as the
// configured host key under `protection` (empty: the configured one),
// replacing an existing key only with `force` (kWriteFailed otherwise).
// kWrongPassphrase or kInvalidFile for a backup that does not open; the
// host key is untouched on any failure.
[[nodiscard]] ENDECRYPT_API int EnDecryptRestoreHostKey(const std::string& input,
                                                        const std::string& passphrase,
                                                        const std::string& protection, bool force);

#endif  // SUITE_ENDECRYPT_HOSTKEYADMIN_H_
