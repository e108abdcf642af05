// Checks made before one type's records are written: a new store gets its
// passphrase; an existing store must have been written in this run's mode,
// is decrypted to show what will change, and the user confirms the update.
#include "Src/Misc/Encrypt/ConsoleMessage.h"
#include "Src/Misc/Encrypt/Encrypt.h"
#include "Src/Misc/Encrypt/Secrets.h"
#include "Src/Misc/Encrypt/StepResult.h"
#include "Src/Misc/Encrypt/Trace.h"
#include "host/EnDecrypt.h"

namespace {

// Preset for the last-mode query: matches neither mode, so a store that
// answers success without naming its mode is refused as a mix.
constexpr int kUnknownMode = 2;

}  // namespace

int ENCRYPT::EncryptPreCheck(const int& mode, const std::string& path, std::string& passphrase,
                             const FileType& type) {
  TRACE_ENTERING("ENCRYPT::EncryptPreCheck");
  if (!EntryExists(path)) {
    if (mode == kAttendedMode) {
      const int code = StepCode(GetUserPassphrase(passphrase, path));
      if (!Succeeded(code)) {
        KLOG(kLevelError) << "Get user passphrase to encrypt file " << path << "error: " << code;
        return code;
      }
    }
  } else {
    const int code = EncryptUpdatePreCheck(mode, path, passphrase, type);
    if (!Succeeded(code)) {
      KLOG(kLevelError) << "Prepare for update encrypted file error: " << code;
      return code;
    }
    // Unattended mode still asks: only "quiet" skips the question.
    if (context.options.count("quiet") == 0 && !ConfirmUpdate(path)) {
      return StepCode(MapEncryptionResult(endecrypt_status::kInterrupted));
    }
  }
  TRACE_EXITING("ENCRYPT::EncryptPreCheck");
  return StepCode(ERR_SUCCEED);
}

int ENCRYPT::EncryptUpdatePreCheck(const int& mode, const std::string& path,
                                   std::string& passphrase, const FileType& type) {
  TRACE_ENTERING("ENCRYPT::EncryptUpdatePreCheck");
  EnDecrypt* store = GetStoreInstance();
  if (store == nullptr) return StepCode(ERR_INTERNAL);
  int last_mode = kUnknownMode;
  const int code = StepCode(MapEncryptionResult(store->GetFileLastEncryptionMode(path, last_mode)));
  if (!Succeeded(code)) {
    KLOG(kLevelError) << "Get file " << path << " last mode error.";
    return code;
  }
  // A store keeps one mode for life. Mixing would let an unattended run
  // rewrite, under the host key, secrets that were sealed with a passphrase
  // (or the reverse), silently dropping the protection the owner chose.
  if (mode != last_mode) {
    KLOG(kLevelError) << "Failed in encrypt file " << path << " though mode is mixed.";
    return StepCode(ERR_MODE_CONFLICT);
  }
  if (mode == kAttendedMode) {
    // Asked once: an existing store verifies the passphrase by decrypting.
    const int prompt = StepCode(GetUserPassphrase(passphrase, path));
    if (!Succeeded(prompt)) {
      KLOG(kLevelError) << "Get user passphrase to encrypt file " << path << "error: " << prompt;
      return prompt;
    }
  }
  const int detail = GetUpdateDetailInfo(path, passphrase, type);
  TRACE_EXITING("ENCRYPT::EncryptUpdatePreCheck");
  return detail;
}

int ENCRYPT::GetUpdateDetailInfo(const std::string& path, const std::string& passphrase,
                                 const FileType& type) {
  TRACE_ENTERING("ENCRYPT::GetUpdateDetailInfo");
  EnDecrypt* store = GetStoreInstance();
  if (store == nullptr) return StepCode(ERR_INTERNAL);
  // The stored plaintext serves only the counts below.
  RecordMap stored;
  const ScopedWipe stored_wipe(stored);
  const int code = StepCode(MapEncryptionResult(store->Decrypt(path, stored, passphrase)));
  if (!Succeeded(code)) {
    KLOG(kLevelError) << "Parse the file " << path << " fail.";
    return code;
  }
  // Keys compare byte for byte: a key differing only in letter case is new,
  // and a value differing only in letter case is an update.
  int32_t added = 0;
  int32_t updated = 0;
  for (const auto& [key, value] : file_records[type]) {
    auto it = stored.find(key);
    if (it == stored.end()) {
      ++added;
    } else if (it->second != value) {
      ++updated;
    }
  }
  CONSOLE_MESSAGE(kLevelConsole) << "add: " << added << ", update: " << updated;
  TRACE_EXITING("ENCRYPT::GetUpdateDetailInfo");
  return StepCode(ERR_SUCCEED);
}
