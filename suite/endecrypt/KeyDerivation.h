// Keys of a store: the 32-byte master key, from a passphrase (Argon2id) or
// from the host key (keyed BLAKE2b), and the body key and key-check value
// split from it. Passphrase-derived keys are cached in guarded memory for
// the life of the process, so reading and then rewriting a store runs
// Argon2id once. Thread-safe.
#ifndef SUITE_ENDECRYPT_KEYDERIVATION_H_
#define SUITE_ENDECRYPT_KEYDERIVATION_H_

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "host/StoreVocabulary.h"
#include "suite/endecrypt/SecureBuffer.h"

namespace endecrypt {

// The sizes of the cryptography's parts, which the store file and the host
// key backup both lay out (docs/store-format.md).
constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kNonceSize = 24;  // XChaCha20-Poly1305 IETF
constexpr std::size_t kKeyCheckSize = 16;
constexpr std::size_t kTagSize = 16;  // Poly1305

// Argon2id costs a reader accepts. The floors are libsodium's; the ceilings
// keep a crafted header from making the reader allocate or spin for long.
constexpr std::uint32_t kMinOpsLimit = 1;
constexpr std::uint32_t kMaxOpsLimit = 10;
constexpr std::uint64_t kMinMemLimit = 8192;
constexpr std::uint64_t kMaxMemLimit = std::uint64_t{1} << 30;  // 1 GiB

constexpr std::size_t kMasterKeySize = 32;
constexpr std::size_t kBodyKeySize = 32;  // XChaCha20-Poly1305 IETF
constexpr std::size_t kHostKeySize = 32;

struct KdfCosts {
  std::uint32_t opslimit = 0;
  std::uint64_t memlimit = 0;
};

// The passphrase-derived keys one engine keeps between its calls, in
// guarded memory readable only while one is looked up, and how many
// Argon2id runs the engine has made. Thread-safe.
class DerivedKeys {
 public:
  DerivedKeys();
  DerivedKeys(const DerivedKeys&) = delete;
  DerivedKeys& operator=(const DerivedKeys&) = delete;
  ~DerivedKeys();

  // Wipes every kept key: the next call derives afresh, as a new process would.
  void Forget();

  unsigned long long GetDerivationCount() const { return derivations.load(); }

  class Cache;  // KeyDerivation.cpp's

 private:
  friend StoreStatus DerivePassphraseKey(DerivedKeys* keys, const std::string& passphrase,
                                         const unsigned char* salt, const KdfCosts& costs,
                                         SecureBuffer& master);
  std::unique_ptr<Cache> cache;
  std::atomic<unsigned long long> derivations{0};
};

// Stores in `master` the Argon2id key of `passphrase` with `salt`
// (kSaltSize bytes) and `costs`, from `keys` when that engine derived it
// before, and kept there and counted; with no `keys` (a host key backup's)
// nothing is kept. Returns kOk, or kInternal when libsodium or memory fails.
// REQUIRES: `costs` within the bounds a store header accepts.
[[nodiscard]] StoreStatus DerivePassphraseKey(DerivedKeys* keys, const std::string& passphrase,
                                              const unsigned char* salt, const KdfCosts& costs,
                                              SecureBuffer& master);

// Stores in `master` the subkey of `host_key` (kHostKeySize bytes) for the
// store with `salt`. Returns kOk or kInternal.
[[nodiscard]] StoreStatus DeriveHostSubkey(const SecureBuffer& host_key, const unsigned char* salt,
                                           SecureBuffer& master);

// Stores in `seed` (allocated here, 32 bytes) the secret of this host's
// age identity, derived from `host_key` (kHostKeySize bytes) under a
// context of its own, so the identity rests exactly as the host key does
// and changes with it. Returns kOk or kInternal.
[[nodiscard]] StoreStatus DeriveAgeIdentitySeed(const SecureBuffer& host_key, SecureBuffer& seed);

// Splits `master` into the body key (kBodyKeySize bytes, allocated here)
// and the key-check value (kKeyCheckSize bytes, written to `key_check`).
// Returns kOk or kInternal.
[[nodiscard]] StoreStatus DeriveStoreKeys(const SecureBuffer& master, SecureBuffer& body_key,
                                          unsigned char* key_check);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_KEYDERIVATION_H_
