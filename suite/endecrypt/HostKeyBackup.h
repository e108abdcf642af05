// The host key backup file: the 32 key bytes wrapped under a passphrase,
// in the family of the store format (docs/store-format.md): a fixed
// versioned header with the Argon2id costs, salt, the key's id and a key
// check, authenticated as the associated data of XChaCha20-Poly1305 over
// the key. Version 2 wraps the audit key too (the 32 bytes after the host
// key's), so that a restored host keeps its old audit lines verifiable;
// version 1, the host key alone, is still read. Encoding and cryptography,
// and the audit key's file beside the host key.
#ifndef SUITE_ENDECRYPT_HOSTKEYBACKUP_H_
#define SUITE_ENDECRYPT_HOSTKEYBACKUP_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/StoreVocabulary.h"
#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/SecureBuffer.h"

namespace endecrypt {

class StoreContext;

constexpr std::size_t kBackupMagicSize = 8;
constexpr unsigned char kBackupMagic[kBackupMagicSize] = {'K', 'V', 'X', 'H', 'K', 'B', 'A', 'K'};
constexpr std::uint8_t kBackupVersion = 1;
constexpr std::uint8_t kBackupVersionWithAuditKey = 2;
// magic, version, opslimit, memlimit, salt, key id, nonce, key check
constexpr std::size_t kBackupHeaderSize =
    kBackupMagicSize + 1 + 4 + 8 + kSaltSize + HostKeyId::kSize + kNonceSize + kKeyCheckSize;
constexpr std::size_t kBackupSize = kBackupHeaderSize + kHostKeySize + kTagSize;
// The audit key, "<host key>.audit-key", and a backup that carries it.
constexpr std::size_t kAuditKeySize = 32;
constexpr char kAuditKeySuffix[] = ".audit-key";
constexpr std::size_t kBackupWithAuditKeySize = kBackupSize + kAuditKeySize;

// Stores in `backup` the bytes that wrap `key` (and `audit_key` unless it
// is empty: version 2) under `passphrase` with `costs`, `salt` (kSaltSize
// bytes) and `nonce` (kNonceSize bytes). Returns kOk, or kInternal when
// libsodium or memory fails. REQUIRES: `costs` within the bounds a store
// header accepts; `key` holds kHostKeySize bytes, `audit_key` none or
// kAuditKeySize.
[[nodiscard]] StoreStatus WrapHostKey(const SecureBuffer& key, const SecureBuffer& audit_key,
                                      const std::string& passphrase, const KdfCosts& costs,
                                      const unsigned char* salt, const unsigned char* nonce,
                                      std::vector<unsigned char>& backup);

// Stores in `key` the host key the backup `data` of `size` bytes wraps,
// and in `audit_key`, when given, the audit key a version 2 backup also
// wraps (left empty by version 1). Returns kOk; kInvalidFile for a wrong
// size, magic, version or costs, or a header or ciphertext altered;
// kWrongPassphrase when the key check shows `passphrase` is not the
// backup's. `key` and `audit_key` are untouched on failure.
[[nodiscard]] StoreStatus UnwrapHostKey(const unsigned char* data, std::size_t size,
                                        const std::string& passphrase, SecureBuffer& key,
                                        SecureBuffer* audit_key = nullptr);

// The audit key beside the host key at `host_key_path` into `audit_key`,
// left empty when there is none. kOk, or the read's failure.
[[nodiscard]] StoreStatus ReadAuditKeyBeside(StoreContext& context,
                                             const std::string& host_key_path,
                                             SecureBuffer& audit_key);

// Puts `audit_key`, unless empty, beside the host key at `host_key_path`
// when no audit key is there (one that is there signs the host's own newer
// lines, and stays). kOk, or the write's failure.
[[nodiscard]] StoreStatus PlaceAuditKeyBeside(StoreContext& context,
                                              const std::string& host_key_path,
                                              const SecureBuffer& audit_key);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_HOSTKEYBACKUP_H_
