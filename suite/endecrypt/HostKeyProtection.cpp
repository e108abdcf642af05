#include "suite/endecrypt/HostKeyProtection.h"

#include <cstring>
#include <utility>

#include "host/Log.h"
#include "host/StoreVocabulary.h"
#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/SecureBuffer.h"

namespace endecrypt {
namespace {

constexpr std::size_t kSealedVersionOffset = kSealedMagicSize;
constexpr std::size_t kProtectionOffset = kSealedMagicSize + 1;

// A sealed file is never kHostKeySize bytes long, so a plain key whose
// first bytes happen to spell the magic is still read as a plain key.
bool HasSealedHeader(const SecureBuffer& file) {
  return file.size() > kSealedHeaderSize && file.size() != kHostKeySize &&
         std::memcmp(file.data(), kSealedMagic, kSealedMagicSize) == 0;
}

}  // namespace

StoreStatus UnprotectHostKey(const ProtectionSettings& settings, SecureBuffer&& file,
                             SecureBuffer& key) {
  if (file.size() != kHostKeySize) return UnprotectHostKey(settings, std::as_const(file), key);
  key = std::move(file);
  return endecrypt_status::kOk;
}

bool ReadFileProtection(const SecureBuffer& file, Protection& protection) {
  if (file.size() == kHostKeySize) {
    protection = Protection::kFile;
    return true;
  }
  if (!HasSealedHeader(file)) return false;
  switch (file.data()[kProtectionOffset]) {
    case static_cast<unsigned char>(Protection::kTpm2): protection = Protection::kTpm2; return true;
    case static_cast<unsigned char>(Protection::kDpapi): protection = Protection::kDpapi; return true;
    default: return false;
  }
}

StoreStatus ProtectHostKey(const ProtectionSettings& settings, const SecureBuffer& key,
                           SecureBuffer& file) {
  std::vector<unsigned char> sealed;
  StoreStatus result = endecrypt_status::kOk;
  switch (settings.protection) {
    case Protection::kFile: {
      SecureBuffer plain;
      if (!plain.Allocate(kHostKeySize)) return endecrypt_status::kInternal;
      std::memcpy(plain.data(), key.data(), kHostKeySize);
      file = std::move(plain);
      return endecrypt_status::kOk;
    }
    case Protection::kTpm2: result = SealWithTpm2(settings, key, sealed); break;
    case Protection::kDpapi: result = SealWithDpapi(key, sealed); break;
  }
  if (result != endecrypt_status::kOk) return result;
  // A sealed file of the plain key's size would read back as a plain key.
  if (kSealedHeaderSize + sealed.size() == kHostKeySize ||
      kSealedHeaderSize + sealed.size() > kMaxHostKeyFileSize) {
    return endecrypt_status::kInternal;
  }
  SecureBuffer out;
  if (!out.Allocate(kSealedHeaderSize + sealed.size())) return endecrypt_status::kInternal;
  std::memcpy(out.data(), kSealedMagic, kSealedMagicSize);
  out.data()[kSealedVersionOffset] = kSealedVersion;
  out.data()[kProtectionOffset] = static_cast<unsigned char>(settings.protection);
  std::memcpy(out.data() + kSealedHeaderSize, sealed.data(), sealed.size());
  file = std::move(out);
  return endecrypt_status::kOk;
}

StoreStatus UnprotectHostKey(const ProtectionSettings& settings, const SecureBuffer& file,
                             SecureBuffer& key) {
  if (file.size() == kHostKeySize) {
    SecureBuffer plain;
    if (!plain.Allocate(kHostKeySize)) return endecrypt_status::kInternal;
    std::memcpy(plain.data(), file.data(), kHostKeySize);
    key = std::move(plain);
    return endecrypt_status::kOk;
  }
  if (!HasSealedHeader(file)) {
    KLOG(1) << "host key file of " << file.size() << " bytes is neither a key of "
            << kHostKeySize << " bytes nor a sealed key";
    return endecrypt_status::kNoCredential;
  }
  const std::uint8_t version = file.data()[kSealedVersionOffset];
  if (version < kOldestSealedVersion || version > kSealedVersion) {
    KLOG(1) << "sealed host key of unknown version " << unsigned{version};
    return endecrypt_status::kNoCredential;
  }
  const unsigned char* sealed = file.data() + kSealedHeaderSize;
  const std::size_t size = file.size() - kSealedHeaderSize;
  SecureBuffer unsealed;
  StoreStatus result = endecrypt_status::kNoCredential;
  switch (file.data()[kProtectionOffset]) {
    case static_cast<unsigned char>(Protection::kTpm2):
      result = UnsealWithTpm2(settings, version, sealed, size, unsealed);
      break;
    case static_cast<unsigned char>(Protection::kDpapi):
      result = UnsealWithDpapi(sealed, size, unsealed);
      break;
    default:
      KLOG(1) << "sealed host key names unknown protection "
              << unsigned{file.data()[kProtectionOffset]};
      return endecrypt_status::kNoCredential;
  }
  if (result != endecrypt_status::kOk) return result;
  if (unsealed.size() != kHostKeySize) {
    KLOG(1) << "sealed host key unsealed to " << unsealed.size() << " bytes, not "
            << kHostKeySize;
    return endecrypt_status::kNoCredential;
  }
  key = std::move(unsealed);
  return endecrypt_status::kOk;
}

}  // namespace endecrypt
