// The host key backup file: the 32 key bytes wrapped under a passphrase,
// in the family of the store format (docs/store-format.md): a fixed
// versioned header with the Argon2id costs, salt, the key's id and a key
// check, authenticated as the associated data of XChaCha20-Poly1305 over
// the key. Pure encoding and cryptography; no file access here.
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

constexpr std::size_t kBackupMagicSize = 8;
constexpr unsigned char kBackupMagic[kBackupMagicSize] = {'K', 'V', 'X', 'H', 'K', 'B', 'A', 'K'};
constexpr std::uint8_t kBackupVersion = 1;
// magic, version, opslimit, memlimit, salt, key id, nonce, key check
constexpr std::size_t kBackupHeaderSize =
    kBackupMagicSize + 1 + 4 + 8 + kSaltSize + HostKeyId::kSize + kNonceSize + kKeyCheckSize;
constexpr std::size_t kBackupSize = kBackupHeaderSize + kHostKeySize + kTagSize;

// Stores in `backup` the kBackupSize bytes that wrap `key` under
// `passphrase` with `costs`, `salt` (kSaltSize bytes) and `nonce`
// (kNonceSize bytes). Returns kOk, or kInternal when libsodium or memory
// fails. REQUIRES: `costs` within the bounds a store header accepts; `key`
// holds kHostKeySize bytes.
[[nodiscard]] StoreStatus WrapHostKey(const SecureBuffer& key, const std::string& passphrase,
                                      const KdfCosts& costs, const unsigned char* salt,
                                      const unsigned char* nonce,
                                      std::vector<unsigned char>& backup);

// Stores in `key` the host key the backup `data` of `size` bytes wraps.
// Returns kOk; kInvalidFile for a wrong size, magic, version or costs, or
// a header or ciphertext altered; kWrongPassphrase when the key check
// shows `passphrase` is not the backup's. `key` is untouched on failure.
[[nodiscard]] StoreStatus UnwrapHostKey(const unsigned char* data, std::size_t size,
                                        const std::string& passphrase, SecureBuffer& key);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_HOSTKEYBACKUP_H_
