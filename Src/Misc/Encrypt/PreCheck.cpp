// Checks made before one type's records are written, and the command's
// console prompts: the record writer's steps, under encrypt's names.
#include "Src/Misc/Encrypt/Encrypt.h"
#include "errors/ErrorCatalogue.h"

uint32_t ENCRYPT::EncryptPreCheck(const int& mode, const std::string& path, std::string& passphrase,
                                  const FileType& type) {
  return Writer().PreCheck(mode, path, passphrase, type);
}

uint32_t ENCRYPT::EncryptUpdatePreCheck(const int& mode, const std::string& path,
                                        std::string& passphrase, const FileType& type) {
  return Writer().UpdatePreCheck(mode, path, passphrase, type);
}

uint32_t ENCRYPT::GetUpdateDetailInfo(const std::string& path, const std::string& passphrase,
                                      const FileType& type) {
  return Writer().CountUpdate(path, passphrase, type);
}

CommandResult ENCRYPT::GetUserPassphrase(std::string& passphrase, const std::string& path) {
  CommandResult result;
  return MakeCommandResult(result, Writer().AskStorePassphrase(passphrase, path));
}

bool ENCRYPT::ConfirmUpdate(const std::string& path) { return Writer().ConfirmUpdate(path); }
