// Stub: replaced by the input intake work.
#include "Src/Misc/Encrypt/Encrypt.h"
#include "errors/ErrorCatalogue.h"

int ENCRYPT::ReadFileIntoMemory() { return static_cast<int>(ERR_INVALID_FILE); }
int ENCRYPT::ReadCredentialFile(const std::string&) { return static_cast<int>(ERR_READ_FILE); }
int ENCRYPT::ReadSensitiveSettingFile(const std::string&) {
  return static_cast<int>(ERR_GENERIC_FAILURE);
}
