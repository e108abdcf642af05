#include "suite/endecrypt/KeyDerivation.h"

#include <sodium.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

#include "host/StoreVocabulary.h"
#include "suite/endecrypt/SecureBuffer.h"

namespace endecrypt {
namespace {

static_assert(kMinOpsLimit >= crypto_pwhash_argon2id_OPSLIMIT_MIN);
static_assert(kMaxOpsLimit <= crypto_pwhash_argon2id_OPSLIMIT_MAX);
static_assert(kMinMemLimit >= crypto_pwhash_argon2id_MEMLIMIT_MIN);
static_assert(kMaxMemLimit <= crypto_pwhash_argon2id_MEMLIMIT_MAX);
static_assert(kSaltSize == crypto_pwhash_argon2id_SALTBYTES);
static_assert(kSaltSize == crypto_generichash_blake2b_SALTBYTES);
static_assert(kHostKeySize == crypto_generichash_blake2b_KEYBYTES);
static_assert(kMasterKeySize == crypto_kdf_KEYBYTES);
static_assert(kBodyKeySize == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);
static_assert(kKeyCheckSize >= crypto_kdf_BYTES_MIN);

constexpr char kHostSubkeyPersonal[crypto_generichash_blake2b_PERSONALBYTES + 1] =
    "kelvox-store-key";
constexpr char kStoreKdfContext[crypto_kdf_CONTEXTBYTES + 1] = "kvxstore";
constexpr std::uint64_t kBodyKeyId = 1;
constexpr std::uint64_t kKeyCheckId = 2;

constexpr std::size_t kCacheSlots = 8;
constexpr std::size_t kPassphraseTagSize = crypto_generichash_BYTES;
constexpr std::size_t kTagKeySize = crypto_generichash_KEYBYTES;

}  // namespace

// One cached derivation. The passphrase itself is not kept: a keyed hash
// of it (the key random per process) tells whether a later call used the
// same one.
struct CacheSlot {
  std::uint64_t last_use;  // 0: free
  std::uint32_t opslimit;
  std::uint64_t memlimit;
  unsigned char salt[kSaltSize];
  unsigned char passphrase_tag[kPassphraseTagSize];
  unsigned char master[kMasterKeySize];
};

struct CacheMemory {
  unsigned char tag_key[kTagKeySize];
  CacheSlot slots[kCacheSlots];
};

// The cached keys live in one guarded region that is readable only while
// the guard is held. When that region cannot be had, nothing is cached and
// every call derives.
class DerivedKeys::Cache {
 public:
  // Fills `tag` for `passphrase` and, on a hit, `master`; true on a hit.
  bool Find(const std::string& passphrase, const unsigned char* salt, const KdfCosts& costs,
            unsigned char* tag, unsigned char* master) {
    std::lock_guard<std::mutex> lock(guard);
    CacheMemory* memory = Open();
    if (memory == nullptr) return false;
    crypto_generichash(tag, kPassphraseTagSize,
                       reinterpret_cast<const unsigned char*>(passphrase.data()), passphrase.size(),
                       memory->tag_key, kTagKeySize);
    bool found = false;
    for (CacheSlot& slot : memory->slots) {
      if (slot.last_use != 0 && Matches(slot, salt, costs) &&
          sodium_memcmp(slot.passphrase_tag, tag, kPassphraseTagSize) == 0) {
        std::memcpy(master, slot.master, kMasterKeySize);
        slot.last_use = ++use_counter;
        found = true;
        break;
      }
    }
    Close();
    return found;
  }

  // Keeps `master`, evicting the least recently used slot when full.
  void Keep(const unsigned char* salt, const KdfCosts& costs, const unsigned char* tag,
            const unsigned char* master) {
    std::lock_guard<std::mutex> lock(guard);
    CacheMemory* memory = Open();
    if (memory == nullptr) return;
    CacheSlot* victim = &memory->slots[0];
    for (CacheSlot& slot : memory->slots) {
      if (slot.last_use < victim->last_use) victim = &slot;
    }
    victim->last_use = ++use_counter;
    victim->opslimit = costs.opslimit;
    victim->memlimit = costs.memlimit;
    std::memcpy(victim->salt, salt, kSaltSize);
    std::memcpy(victim->passphrase_tag, tag, kPassphraseTagSize);
    std::memcpy(victim->master, master, kMasterKeySize);
    Close();
  }

  void Forget() {
    std::lock_guard<std::mutex> lock(guard);
    CacheMemory* memory = Open();
    if (memory == nullptr) return;
    sodium_memzero(memory->slots, sizeof(memory->slots));
    Close();
  }

 private:
  static bool Matches(const CacheSlot& slot, const unsigned char* salt, const KdfCosts& costs) {
    return slot.opslimit == costs.opslimit && slot.memlimit == costs.memlimit &&
           std::memcmp(slot.salt, salt, kSaltSize) == 0;
  }

  // REQUIRES: guard held. The region made readable, set up on first use.
  CacheMemory* Open() {
    if (failed) return nullptr;
    if (contents == nullptr) {
      if (!region.Allocate(sizeof(CacheMemory))) {
        failed = true;
        return nullptr;
      }
      contents = new (region.data()) CacheMemory{};
      randombytes_buf(contents->tag_key, kTagKeySize);
      return contents;
    }
    if (!region.SetAccess(true)) return nullptr;
    return contents;
  }

  // REQUIRES: guard held. A refusal only loses the extra protection.
  void Close() { static_cast<void>(region.SetAccess(false)); }

  std::mutex guard;
  SecureBuffer region;
  CacheMemory* contents = nullptr;
  bool failed = false;
  std::uint64_t use_counter = 0;
};

DerivedKeys::DerivedKeys() : cache(std::make_unique<Cache>()) {}
DerivedKeys::~DerivedKeys() = default;

void DerivedKeys::Forget() { cache->Forget(); }

StoreStatus DerivePassphraseKey(DerivedKeys* keys, const std::string& passphrase,
                                const unsigned char* salt, const KdfCosts& costs,
                                SecureBuffer& master) {
  if (!master.Allocate(kMasterKeySize)) return endecrypt_status::kInternal;
  unsigned char tag[kPassphraseTagSize] = {};
  if (keys != nullptr && keys->cache->Find(passphrase, salt, costs, tag, master.data())) {
    sodium_memzero(tag, sizeof(tag));
    return endecrypt_status::kOk;
  }
  if (keys != nullptr) ++keys->derivations;
  const int derived = crypto_pwhash(
      master.data(), kMasterKeySize, passphrase.data(), passphrase.size(), salt, costs.opslimit,
      static_cast<std::size_t>(costs.memlimit), crypto_pwhash_ALG_ARGON2ID13);
  if (derived == 0 && keys != nullptr) keys->cache->Keep(salt, costs, tag, master.data());
  sodium_memzero(tag, sizeof(tag));
  return derived == 0 ? endecrypt_status::kOk : endecrypt_status::kInternal;
}

StoreStatus DeriveHostSubkey(const SecureBuffer& host_key, const unsigned char* salt,
                             SecureBuffer& master) {
  if (!master.Allocate(kMasterKeySize)) return endecrypt_status::kInternal;
  const int derived = crypto_generichash_blake2b_salt_personal(
      master.data(), kMasterKeySize, nullptr, 0, host_key.data(), kHostKeySize, salt,
      reinterpret_cast<const unsigned char*>(kHostSubkeyPersonal));
  return derived == 0 ? endecrypt_status::kOk : endecrypt_status::kInternal;
}

StoreStatus DeriveAgeIdentitySeed(const SecureBuffer& host_key, SecureBuffer& seed) {
  // crypto_kdf contexts are 8 bytes; this one names no store key.
  static constexpr char kAgeContext[crypto_kdf_CONTEXTBYTES + 1] = "kvxageid";
  static constexpr std::uint64_t kAgeIdentityId = 1;
  static constexpr std::size_t kSeedSize = 32;
  if (!seed.Allocate(kSeedSize)) return endecrypt_status::kInternal;
  return crypto_kdf_derive_from_key(seed.data(), kSeedSize, kAgeIdentityId, kAgeContext,
                                    host_key.data()) == 0
             ? endecrypt_status::kOk
             : endecrypt_status::kInternal;
}

StoreStatus DeriveStoreKeys(const SecureBuffer& master, SecureBuffer& body_key,
                            unsigned char* key_check) {
  if (!body_key.Allocate(kBodyKeySize)) return endecrypt_status::kInternal;
  if (crypto_kdf_derive_from_key(body_key.data(), kBodyKeySize, kBodyKeyId, kStoreKdfContext,
                                 master.data()) != 0 ||
      crypto_kdf_derive_from_key(key_check, kKeyCheckSize, kKeyCheckId, kStoreKdfContext,
                                 master.data()) != 0) {
    return endecrypt_status::kInternal;
  }
  return endecrypt_status::kOk;
}

}  // namespace endecrypt
