// Stub: replaced by the console prompts work.
#include "Src/Misc/Encrypt/Encrypt.h"
#include "errors/ErrorCatalogue.h"

CommandResult ENCRYPT::GetUserPassphrase(std::string&, const std::string&) {
  CommandResult result;
  return MakeCommandResult(result, ERR_PASSPHRASE);
}
bool ENCRYPT::ConfirmUpdate(const std::string&) { return false; }
