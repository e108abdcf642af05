#include "Src/Misc/Common/OpenStore.h"

#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

StoreFound FindStore(EnDecrypt& store, const std::string& path) {
  StoreFound found;
  // Neither mode: a library that answers success without naming one
  // matches no run's mode.
  found.mode = static_cast<EncryptionMode>(2);
  found.status = store.GetFileLastEncryptionMode(path, found.mode);
  return found;
}

uint32_t OpenExistingStore(const StoreFound& found, const std::string& path,
                           std::optional<EncryptionMode> mode, const StoreStatusMap& map_status,
                           const PassphrasePrompt& ask, std::string& passphrase,
                           std::optional<EncryptionMode>* store_mode) {
  if (!found.status.IsOk()) {
    const uint32_t code = map_status(found.status);
    if (found.IsAbsent()) {
      KLOG(kLevelError) << "Encrypted file " << path << " does not exist.";
    } else {
      KLOG(kLevelError) << "Get file " << path << " last mode error.";
    }
    return code;
  }
  const EncryptionMode last_mode = found.mode;
  if (store_mode != nullptr) *store_mode = last_mode;
  // A store keeps one mode for life. Mixing would let an unattended run
  // rewrite, under the host key, secrets that were sealed with a passphrase
  // (or the reverse), silently dropping the protection the owner chose.
  if (mode.value_or(last_mode) != last_mode) {
    KLOG(kLevelError) << "Failed in encrypt file " << path << " though mode is mixed.";
    return ERR_MODE_CONFLICT;
  }
  if (last_mode == kAttendedMode) {
    // Asked once: an existing store verifies the passphrase by decrypting.
    const uint32_t prompt = ask(passphrase);
    if (prompt != ERR_SUCCEED) {
      KLOG(kLevelError) << "Get user passphrase to encrypt file " << path << "error: " << prompt;
      return prompt;
    }
  }
  return ERR_SUCCEED;
}
