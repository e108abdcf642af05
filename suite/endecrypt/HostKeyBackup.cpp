#include "suite/endecrypt/HostKeyBackup.h"

#include <sodium.h>

#include <cstring>

#include "suite/endecrypt/HostKey.h"
#include "suite/endecrypt/SecureBuffer.h"

namespace endecrypt {
namespace {

namespace status = endecrypt_status;

constexpr std::size_t kBackupVersionOffset = kBackupMagicSize;
constexpr std::size_t kOpsOffset = kBackupVersionOffset + 1;
constexpr std::size_t kMemOffset = kOpsOffset + 4;
constexpr std::size_t kSaltOffset = kMemOffset + 8;
constexpr std::size_t kKeyIdOffset = kSaltOffset + kSaltSize;
constexpr std::size_t kNonceOffset = kKeyIdOffset + HostKeyId::kSize;
constexpr std::size_t kKeyCheckOffset = kNonceOffset + kNonceSize;
static_assert(kKeyCheckOffset + kKeyCheckSize == kBackupHeaderSize);

void PutLittleEndian(std::uint64_t value, std::size_t bytes, unsigned char* out) {
  for (std::size_t i = 0; i < bytes; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint64_t GetLittleEndian(const unsigned char* in, std::size_t bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = bytes; i > 0; --i) value = (value << 8) | in[i - 1];
  return value;
}

// The structural checks a reader makes before deriving anything: a crafted
// file must not make it allocate or spin beyond a store header's bounds.
[[nodiscard]] StoreStatus CheckHeader(const unsigned char* data, std::size_t size,
                                      KdfCosts& costs) {
  if (size != kBackupSize || std::memcmp(data, kBackupMagic, kBackupMagicSize) != 0 ||
      data[kBackupVersionOffset] != kBackupVersion) {
    return status::kInvalidFile;
  }
  const std::uint64_t opslimit = GetLittleEndian(data + kOpsOffset, 4);
  const std::uint64_t memlimit = GetLittleEndian(data + kMemOffset, 8);
  if (opslimit < kMinOpsLimit || opslimit > kMaxOpsLimit || memlimit < kMinMemLimit ||
      memlimit > kMaxMemLimit) {
    return status::kInvalidFile;
  }
  costs = {static_cast<std::uint32_t>(opslimit), memlimit};
  return status::kOk;
}

}  // namespace

StoreStatus WrapHostKey(const SecureBuffer& key, const std::string& passphrase,
                        const KdfCosts& costs, const unsigned char* salt,
                        const unsigned char* nonce, std::vector<unsigned char>& backup) {
  std::vector<unsigned char> out(kBackupSize, 0);
  std::memcpy(out.data(), kBackupMagic, kBackupMagicSize);
  out[kBackupVersionOffset] = kBackupVersion;
  PutLittleEndian(costs.opslimit, 4, out.data() + kOpsOffset);
  PutLittleEndian(costs.memlimit, 8, out.data() + kMemOffset);
  std::memcpy(out.data() + kSaltOffset, salt, kSaltSize);
  std::memcpy(out.data() + kNonceOffset, nonce, kNonceSize);
  SecureBuffer master;
  SecureBuffer wrap_key;
  HostKeyId key_id;
  StoreStatus result = ComputeHostKeyId(key, key_id);
  std::memcpy(out.data() + kKeyIdOffset, key_id.data(), HostKeyId::kSize);
  // A backup's key is derived once and kept nowhere.
  if (result == status::kOk) {
    result = DerivePassphraseKey(nullptr, passphrase, salt, costs, master);
  }
  if (result == status::kOk) {
    result = DeriveStoreKeys(master, wrap_key, out.data() + kKeyCheckOffset);
  }
  if (result != status::kOk) return result;
  unsigned long long sealed = 0;
  if (crypto_aead_xchacha20poly1305_ietf_encrypt(out.data() + kBackupHeaderSize, &sealed,
                                                 key.data(), kHostKeySize, out.data(),
                                                 kBackupHeaderSize, nullptr, nonce,
                                                 wrap_key.data()) != 0) {
    return status::kInternal;
  }
  backup.swap(out);
  return status::kOk;
}

StoreStatus UnwrapHostKey(const unsigned char* data, std::size_t size,
                          const std::string& passphrase, SecureBuffer& key) {
  KdfCosts costs;
  StoreStatus result = CheckHeader(data, size, costs);
  SecureBuffer master;
  SecureBuffer wrap_key;
  unsigned char key_check[kKeyCheckSize];
  if (result == status::kOk) {
    result = DerivePassphraseKey(nullptr, passphrase, data + kSaltOffset, costs, master);
  }
  if (result == status::kOk) result = DeriveStoreKeys(master, wrap_key, key_check);
  if (result != status::kOk) return result;
  // As in a store, the key check tells a wrong passphrase from a damaged
  // file; the AEAD then authenticates it with the rest of the header.
  if (sodium_memcmp(key_check, data + kKeyCheckOffset, kKeyCheckSize) != 0) {
    return status::kWrongPassphrase;
  }
  SecureBuffer unwrapped;
  if (!unwrapped.Allocate(kHostKeySize)) return status::kInternal;
  unsigned long long opened = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(
          unwrapped.data(), &opened, nullptr, data + kBackupHeaderSize, kHostKeySize + kTagSize,
          data, kBackupHeaderSize, data + kNonceOffset, wrap_key.data()) != 0) {
    return status::kInvalidFile;
  }
  HostKeyId key_id;
  if ((result = ComputeHostKeyId(unwrapped, key_id)) != status::kOk) return result;
  if (sodium_memcmp(key_id.data(), data + kKeyIdOffset, HostKeyId::kSize) != 0) {
    return status::kInvalidFile;
  }
  key = std::move(unwrapped);
  return status::kOk;
}

}  // namespace endecrypt
