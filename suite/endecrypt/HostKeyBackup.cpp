#include "suite/endecrypt/HostKeyBackup.h"

#include <sodium.h>

#include <cstring>

#include "suite/endecrypt/HostKey.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreFiles.h"

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
  if (size < kBackupSize || std::memcmp(data, kBackupMagic, kBackupMagicSize) != 0 ||
      !((size == kBackupSize && data[kBackupVersionOffset] == kBackupVersion) ||
        (size == kBackupWithAuditKeySize &&
         data[kBackupVersionOffset] == kBackupVersionWithAuditKey))) {
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

StoreStatus WrapHostKey(const SecureBuffer& key, const SecureBuffer& audit_key,
                        const std::string& passphrase, const KdfCosts& costs,
                        const unsigned char* salt, const unsigned char* nonce,
                        std::vector<unsigned char>& backup) {
  const bool with_audit_key = audit_key.size() != 0;
  std::vector<unsigned char> out(with_audit_key ? kBackupWithAuditKeySize : kBackupSize, 0);
  std::memcpy(out.data(), kBackupMagic, kBackupMagicSize);
  out[kBackupVersionOffset] = with_audit_key ? kBackupVersionWithAuditKey : kBackupVersion;
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
  SecureBuffer keys;
  if (result == status::kOk && !keys.Allocate(kHostKeySize + audit_key.size())) {
    result = status::kInternal;
  }
  if (result != status::kOk) return result;
  std::memcpy(keys.data(), key.data(), kHostKeySize);
  if (with_audit_key) std::memcpy(keys.data() + kHostKeySize, audit_key.data(), kAuditKeySize);
  unsigned long long sealed = 0;
  if (crypto_aead_xchacha20poly1305_ietf_encrypt(out.data() + kBackupHeaderSize, &sealed,
                                                 keys.data(), keys.size(), out.data(),
                                                 kBackupHeaderSize, nullptr, nonce,
                                                 wrap_key.data()) != 0) {
    return status::kInternal;
  }
  backup.swap(out);
  return status::kOk;
}

StoreStatus UnwrapHostKey(const unsigned char* data, std::size_t size,
                          const std::string& passphrase, SecureBuffer& key,
                          SecureBuffer* audit_key) {
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
  const std::size_t wrapped = size - kBackupHeaderSize - kTagSize;  // the keys' bytes
  SecureBuffer keys;
  SecureBuffer unwrapped;
  SecureBuffer audit;
  if (!keys.Allocate(wrapped) || !unwrapped.Allocate(kHostKeySize) ||
      (wrapped > kHostKeySize && !audit.Allocate(kAuditKeySize))) {
    return status::kInternal;
  }
  unsigned long long opened = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(
          keys.data(), &opened, nullptr, data + kBackupHeaderSize, wrapped + kTagSize, data,
          kBackupHeaderSize, data + kNonceOffset, wrap_key.data()) != 0) {
    return status::kInvalidFile;
  }
  std::memcpy(unwrapped.data(), keys.data(), kHostKeySize);
  if (wrapped > kHostKeySize) std::memcpy(audit.data(), keys.data() + kHostKeySize, kAuditKeySize);
  HostKeyId key_id;
  if ((result = ComputeHostKeyId(unwrapped, key_id)) != status::kOk) return result;
  if (sodium_memcmp(key_id.data(), data + kKeyIdOffset, HostKeyId::kSize) != 0) {
    return status::kInvalidFile;
  }
  key = std::move(unwrapped);
  if (audit_key != nullptr) *audit_key = std::move(audit);
  return status::kOk;
}

StoreStatus ReadAuditKeyBeside(StoreContext& context, const std::string& host_key_path,
                               SecureBuffer& audit_key) {
  SecureBuffer read;
  const FileResult result =
      ReadSecretFile(context, host_key_path + kAuditKeySuffix, kAuditKeySize, kAuditKeySize, read);
  if (result != FileResult::kOk && result != FileResult::kNotFound) return FromReadResult(result);
  audit_key = std::move(read);
  return status::kOk;
}

StoreStatus PlaceAuditKeyBeside(StoreContext& context, const std::string& host_key_path,
                                const SecureBuffer& audit_key) {
  if (audit_key.size() == 0) return status::kOk;
  const FileResult result =
      CreateFileAtomically(context, host_key_path + kAuditKeySuffix, audit_key.data(), audit_key.size());
  return result == FileResult::kExists ? status::kOk : FromWriteResult(result);
}

}  // namespace endecrypt
