// The dpapi sealer of HostKeyProtection.h: the host key protected by the
// Data Protection API in machine scope, so any account of this machine,
// and no other machine, can unprotect it, with entropy of our own so that
// a program merely calling CryptUnprotectData on the file gets nothing.
// The sealed data is the DPAPI blob as CryptProtectData returns it.
#include <windows.h>
// dpapi.h needs the declarations of windows.h.
#include <dpapi.h>

#include <cstring>
#include <memory>
#include <vector>

#include "host/Log.h"
#include "host/StoreVocabulary.h"
#include "suite/endecrypt/HostKeyProtection.h"
#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/SecureBuffer.h"

namespace endecrypt {
namespace {

constexpr char kEntropy[] = "kelvox host key, dpapi protection, version 1";

DATA_BLOB Blob(const unsigned char* data, std::size_t size) {
  DATA_BLOB blob;
  blob.cbData = static_cast<DWORD>(size);
  blob.pbData = const_cast<BYTE*>(data);  // DPAPI takes input blobs as non-const
  return blob;
}

// Output of CryptProtectData/CryptUnprotectData: wiped and LocalFree'd on
// every path.
class LocalBlob {
 public:
  LocalBlob() = default;
  LocalBlob(const LocalBlob&) = delete;
  LocalBlob& operator=(const LocalBlob&) = delete;
  ~LocalBlob() {
    if (blob.pbData == nullptr) return;
    ::SecureZeroMemory(blob.pbData, blob.cbData);
    ::LocalFree(blob.pbData);
  }
  DATA_BLOB* get() { return &blob; }
  const unsigned char* data() const { return blob.pbData; }
  std::size_t size() const { return blob.cbData; }

 private:
  DATA_BLOB blob = {0, nullptr};
};

}  // namespace

StoreStatus SealWithDpapi(const SecureBuffer& key, std::vector<unsigned char>& sealed) {
  DATA_BLOB plain = Blob(key.data(), kHostKeySize);
  DATA_BLOB entropy = Blob(reinterpret_cast<const unsigned char*>(kEntropy), sizeof(kEntropy) - 1);
  LocalBlob out;
  if (!::CryptProtectData(&plain, nullptr, &entropy, nullptr, nullptr,
                          CRYPTPROTECT_LOCAL_MACHINE | CRYPTPROTECT_UI_FORBIDDEN, out.get())) {
    KLOG(1) << "DPAPI: protecting the host key failed: system error " << ::GetLastError();
    return endecrypt_status::kNoCredential;
  }
  sealed.assign(out.data(), out.data() + out.size());
  return endecrypt_status::kOk;
}

StoreStatus UnsealWithDpapi(const unsigned char* sealed, std::size_t size, SecureBuffer& key) {
  DATA_BLOB in = Blob(sealed, size);
  DATA_BLOB entropy = Blob(reinterpret_cast<const unsigned char*>(kEntropy), sizeof(kEntropy) - 1);
  LocalBlob out;
  if (!::CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            out.get())) {
    KLOG(1) << "DPAPI: unprotecting the host key failed: system error " << ::GetLastError();
    return endecrypt_status::kNoCredential;
  }
  SecureBuffer opened;
  if (!opened.Allocate(out.size())) return endecrypt_status::kInternal;
  std::memcpy(opened.data(), out.data(), out.size());
  key = std::move(opened);
  return endecrypt_status::kOk;
}

}  // namespace endecrypt
