// Keys of a store: the 32-byte master key, from a passphrase (Argon2id) or
// from the host key (keyed BLAKE2b), and the body key and key-check value
// split from it. Passphrase-derived keys are cached in guarded memory for
// the life of the process, so reading and then rewriting a store runs
// Argon2id once. Thread-safe.
#ifndef SUITE_ENDECRYPT_KEYDERIVATION_H_
#define SUITE_ENDECRYPT_KEYDERIVATION_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace endecrypt {

class SecureBuffer;

constexpr std::size_t kMasterKeySize = 32;
constexpr std::size_t kBodyKeySize = 32;  // XChaCha20-Poly1305 IETF
constexpr std::size_t kHostKeySize = 32;

struct KdfCosts {
  std::uint32_t opslimit = 0;
  std::uint64_t memlimit = 0;
};

// Stores in `master` the Argon2id key of `passphrase` with `salt`
// (kSaltSize bytes) and `costs`, from the cache when this process derived
// it before. Returns kOk, or kInternal when libsodium or memory fails.
// REQUIRES: `costs` within the bounds a store header accepts.
[[nodiscard]] int DerivePassphraseKey(const std::string& passphrase, const unsigned char* salt,
                                      const KdfCosts& costs, SecureBuffer& master);

// Stores in `master` the subkey of `host_key` (kHostKeySize bytes) for the
// store with `salt`. Returns kOk or kInternal.
[[nodiscard]] int DeriveHostSubkey(const SecureBuffer& host_key, const unsigned char* salt,
                                   SecureBuffer& master);

// Stores in `seed` (allocated here, 32 bytes) the secret of this host's
// age identity, derived from `host_key` (kHostKeySize bytes) under a
// context of its own, so the identity rests exactly as the host key does
// and changes with it. Returns kOk or kInternal.
[[nodiscard]] int DeriveAgeIdentitySeed(const SecureBuffer& host_key, SecureBuffer& seed);

// Splits `master` into the body key (kBodyKeySize bytes, allocated here)
// and the key-check value (kKeyCheckSize bytes, written to `key_check`).
// Returns kOk or kInternal.
[[nodiscard]] int DeriveStoreKeys(const SecureBuffer& master, SecureBuffer& body_key,
                                  unsigned char* key_check);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_KEYDERIVATION_H_
