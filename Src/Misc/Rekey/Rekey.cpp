#include "Src/Misc/Rekey/Rekey.h"

#include <string>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/OpenStore.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

uint32_t REKEY::CheckOptions() {
  // Converting to unattended starts from an attended store, which
  // "--unattended" would deny.
  if (HasOption("to-unattended") && HasOption("unattended")) {
    return RefuseOption("--to-unattended converts an attended store; drop --unattended");
  }
  return ERR_SUCCEED;
}

// A conversion opens the store in whatever mode it has: one already in the
// mode asked for is told so, rather than refused with advice to change
// options that would only be refused again.
std::optional<EncryptionMode> REKEY::ExpectedMode() const {
  if (HasOption("to-unattended") || HasOption("to-attended")) return std::nullopt;
  return StoreCommand::ExpectedMode();
}

uint32_t REKEY::CheckBeforePrompt(EncryptionMode mode) {
  const bool converting = HasOption("to-unattended") || HasOption("to-attended");
  if (converting && mode == TargetMode()) {
    CONSOLE_MESSAGE(kLevelConsole) << "The store " << path << " is already "
                                   << (mode == kAttendedMode ? "attended (sealed with a passphrase)"
                                                             : "unattended (sealed with this host's key)")
                                   << "; nothing to do.";
    finished = true;
  }
  return ERR_SUCCEED;
}

EncryptionMode REKEY::TargetMode() const {
  if (HasOption("to-unattended")) return kUnattendedMode;
  if (HasOption("to-attended")) return kAttendedMode;
  return store_mode.value_or(kAttendedMode);
}

uint32_t REKEY::RunOnStore(EnDecrypt& store) {
  // The current key is proved before a new passphrase is asked for.
  EnDecrypt::StoreInfo info;
  uint32_t code = FromReadStatus(store.Inspect(path, passphrase, info));
  if (code != ERR_SUCCEED) {
    if (code == ERR_PASSPHRASE && !passphrase.empty()) {
      CONSOLE_MESSAGE(kLevelError) << "The current passphrase does not open " << path << ".";
    }
    return code;
  }
  // Held only for the life of this step, wiped however it ends.
  std::string new_passphrase;
  const ScopedWipe new_passphrase_wipe(new_passphrase);
  if (TargetMode() == kAttendedMode) {
    code = AskNewPassphrase(env.GetKeys(), path, kMinPassphraseLength, new_passphrase,
                            "new passphrase");
    if (code != ERR_SUCCEED) {
      KLOG(kLevelError) << "Get new passphrase for file " << path << " error: " << code;
      return code;
    }
  }
  const StoreStatus status = store.Rekey(path, passphrase, new_passphrase);
  code = FromStoreStatus(status);
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Rekey file " << path << " error: " << status << ".";
    return code;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Succeed in sealing the file " << path << " under "
                                 << (TargetMode() == kAttendedMode ? "the new passphrase."
                                                               : "this host's key.");
  return ERR_SUCCEED;
}
