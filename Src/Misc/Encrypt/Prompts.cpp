// The encrypt command's console prompts: the passphrase of a store, typed
// twice for a new store, and the confirmation before an existing store is
// updated. The prompts themselves are shared with the other store commands.
#include <string>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "Src/Misc/Encrypt/Secrets.h"
#include "Src/Misc/Encrypt/StorePrompts.h"
#include "Src/Misc/Encrypt/Trace.h"
#include "errors/ErrorCatalogue.h"

CommandResult ENCRYPT::GetUserPassphrase(std::string& passphrase, const std::string& path) {
  TRACE_ENTERING("ENCRYPT::GetUserPassphrase");
  CommandResult result;
  const uint32_t code = AskPassphrase(path, !EntryExists(path), passphrase);
  if (code == ERR_SUCCEED) {
    TRACE_EXITING("ENCRYPT::GetUserPassphrase");
  }
  return MakeCommandResult(result, code);
}

bool ENCRYPT::ConfirmUpdate(const std::string& path) { return AskToUpdate(path); }
