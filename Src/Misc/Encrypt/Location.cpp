// Stub: replaced by the store-location work.
#include "Src/Misc/Encrypt/Encrypt.h"
#include "errors/ErrorCatalogue.h"

const char* const EncryptedPathKeys[] = {"ENCRYPT_SETTING_PATH", "ENCRYPTED_CREDENTIALS_FILE_PATH"};

int ENCRYPT::GetEncryptedFilePath(std::string, std::string&) {
  return static_cast<int>(ERR_READ_FILE);
}
