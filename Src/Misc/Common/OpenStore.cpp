#include "Src/Misc/Common/OpenStore.h"

#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

namespace {

// Preset for the last-mode query: matches neither mode, so a store that
// answers success without naming its mode is refused as a mix.
constexpr int kUnknownMode = 2;

}  // namespace

uint32_t OpenExistingStore(EnDecrypt& store, const std::string& path, int mode,
                           StoreStatusMap map_status, const PassphrasePrompt& ask,
                           std::string& passphrase, int* store_mode) {
  if (!EntryExists(path)) {
    KLOG(kLevelError) << "Encrypted file " << path << " does not exist.";
    return map_status(endecrypt_status::kNotExist);
  }
  int last_mode = kUnknownMode;
  const uint32_t code = map_status(store.GetFileLastEncryptionMode(path, last_mode));
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Get file " << path << " last mode error.";
    return code;
  }
  if (last_mode != kAttendedMode && last_mode != kUnattendedMode) {
    KLOG(kLevelError) << "Encrypted file " << path << " names no mode.";
    return ERR_MODE_CONFLICT;
  }
  if (store_mode != nullptr) *store_mode = last_mode;
  if (mode == kAnyMode) mode = last_mode;
  // A store keeps one mode for life. Mixing would let an unattended run
  // rewrite, under the host key, secrets that were sealed with a passphrase
  // (or the reverse), silently dropping the protection the owner chose.
  if (mode != last_mode) {
    KLOG(kLevelError) << "Failed in encrypt file " << path << " though mode is mixed.";
    return ERR_MODE_CONFLICT;
  }
  if (mode == kAttendedMode) {
    // Asked once: an existing store verifies the passphrase by decrypting.
    const uint32_t prompt = ask(passphrase);
    if (prompt != ERR_SUCCEED) {
      KLOG(kLevelError) << "Get user passphrase to encrypt file " << path << "error: " << prompt;
      return prompt;
    }
  }
  return ERR_SUCCEED;
}
