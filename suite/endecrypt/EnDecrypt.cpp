// Stub: replaced by the store work.
#include "host/EnDecrypt.h"

struct EnDecrypt::State {};

EnDecrypt::EnDecrypt() = default;
EnDecrypt::~EnDecrypt() = default;

EnDecrypt* EnDecrypt::GetInstance() {
  static EnDecrypt instance;
  return &instance;
}

int EnDecrypt::GetFileLastEncryptionMode(const std::string&, int&) { return endecrypt_status::kInternal; }
int EnDecrypt::Decrypt(const std::string&, std::map<std::string, std::string>&, const std::string&) {
  return endecrypt_status::kInternal;
}
int EnDecrypt::Encrypt(const std::map<std::string, std::string>&, const std::string&,
                       const std::string&, const bool&) {
  return endecrypt_status::kInternal;
}
