#include "Src/Misc/Rekey/Rekey.h"

#include <string>

#include "Src/Misc/Encrypt/ConsoleMessage.h"
#include "Src/Misc/Encrypt/Secrets.h"
#include "Src/Misc/Encrypt/StorePrompts.h"
#include "Src/Misc/Encrypt/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

namespace {

constexpr int kAttended = 0;
constexpr int kUnattended = 1;

// A passphrase held only for the life of one step, wiped however it ends.
struct NewPassphrase {
  NewPassphrase() = default;
  NewPassphrase(const NewPassphrase&) = delete;
  NewPassphrase& operator=(const NewPassphrase&) = delete;
  ~NewPassphrase() { WipeString(text); }
  std::string text;
};

}  // namespace

uint32_t REKEY::CheckOptions() {
  if (HasOption("to-attended") && HasOption("to-unattended")) {
    return RefuseOption("Give at most one of --to-attended and --to-unattended");
  }
  // Converting to unattended starts from an attended store, which
  // "--unattended" would deny.
  if (HasOption("to-unattended") && HasOption("unattended")) {
    return RefuseOption("--to-unattended converts an attended store; drop --unattended");
  }
  return ERR_SUCCEED;
}

int REKEY::ExpectedMode() const {
  if (HasOption("to-unattended")) return kAttended;
  if (HasOption("to-attended")) return kUnattended;
  return StoreCommand::ExpectedMode();
}

int REKEY::TargetMode() const {
  if (HasOption("to-unattended")) return kUnattended;
  if (HasOption("to-attended")) return kAttended;
  return ExpectedMode();
}

uint32_t REKEY::RunOnStore() {
  EnDecrypt* store = EnDecrypt::GetInstance();
  // The current key is proved before a new passphrase is asked for.
  EnDecrypt::StoreInfo info;
  uint32_t code = FromStoreStatus(store->Inspect(path, passphrase, info));
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Parse the file " << path << " fail.";
    return code;
  }
  NewPassphrase new_passphrase;
  if (TargetMode() == kAttended) {
    code = AskPassphrase(path, true, new_passphrase.text);
    if (code != ERR_SUCCEED) {
      KLOG(kLevelError) << "Get new passphrase for file " << path << " error: " << code;
      return code;
    }
  }
  const int status = store->Rekey(path, passphrase, new_passphrase.text);
  code = FromStoreStatus(status);
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Rekey file " << path << " error: " << status << ".";
    return code;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Succeed in sealing the file " << path << " under "
                                 << (TargetMode() == kAttended ? "the new passphrase."
                                                               : "this host's key.");
  return ERR_SUCCEED;
}
