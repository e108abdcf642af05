// Checks made before one type's records are written: a new store gets its
// passphrase; an existing store is opened as every store command opens one
// (its mode must be this run's), is decrypted to show what will change, and
// the user confirms the update. Also the command's console prompts.
#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Encrypt/Encrypt.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/OpenStore.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

uint32_t ENCRYPT::EncryptPreCheck(const int& mode, const std::string& path, std::string& passphrase,
                             const FileType& type) {
  TRACE_ENTERING("ENCRYPT::EncryptPreCheck");
  if (!EntryExists(path)) {
    if (mode == kAttendedMode) {
      const uint32_t code = GetUserPassphrase(passphrase, path).code;
      if (code != ERR_SUCCEED) {
        KLOG(kLevelError) << "Get user passphrase to encrypt file " << path << "error: " << code;
        return code;
      }
    }
  } else {
    const uint32_t code = EncryptUpdatePreCheck(mode, path, passphrase, type);
    if (code != ERR_SUCCEED) {
      KLOG(kLevelError) << "Prepare for update encrypted file error: " << code;
      return code;
    }
    // Unattended mode still asks: only "quiet" skips the question.
    if (context.options.count("quiet") == 0 && !ConfirmUpdate(path)) {
      return MapEncryptionResult(endecrypt_status::kInterrupted).code;
    }
  }
  TRACE_EXITING("ENCRYPT::EncryptPreCheck");
  return ERR_SUCCEED;
}

uint32_t ENCRYPT::EncryptUpdatePreCheck(const int& mode, const std::string& path,
                                        std::string& passphrase, const FileType& type) {
  TRACE_ENTERING("ENCRYPT::EncryptUpdatePreCheck");
  EnDecrypt* store = GetStoreInstance();
  if (store == nullptr) return ERR_INTERNAL;
  const uint32_t code = OpenExistingStore(
      *store, path, mode, [](int status) { return MapEncryptionResult(status).code; },
      [this, &path](std::string& typed) { return GetUserPassphrase(typed, path).code; },
      passphrase);
  if (code != ERR_SUCCEED) return code;
  const uint32_t detail = GetUpdateDetailInfo(path, passphrase, type);
  TRACE_EXITING("ENCRYPT::EncryptUpdatePreCheck");
  return detail;
}

uint32_t ENCRYPT::GetUpdateDetailInfo(const std::string& path, const std::string& passphrase,
                                 const FileType& type) {
  TRACE_ENTERING("ENCRYPT::GetUpdateDetailInfo");
  EnDecrypt* store = GetStoreInstance();
  if (store == nullptr) return ERR_INTERNAL;
  // The stored plaintext serves only the counts below.
  RecordMap stored;
  const ScopedWipe stored_wipe(stored);
  const uint32_t code = MapEncryptionResult(store->Decrypt(path, stored, passphrase)).code;
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Parse the file " << path << " fail.";
    return code;
  }
  // Keys compare byte for byte: a key differing only in letter case is new,
  // and a value differing only in letter case is an update. Both maps are
  // in the same key order, so one walk through the stored records finds
  // every key, instead of a search per record.
  int32_t added = 0;
  int32_t updated = 0;
  auto it = stored.begin();
  for (const auto& [key, value] : file_records[type]) {
    int order = -1;
    while (it != stored.end() && (order = it->first.compare(key)) < 0) ++it;
    if (order != 0) {
      ++added;
    } else if (it->second != value) {
      ++updated;
    }
  }
  CONSOLE_MESSAGE(kLevelConsole) << "add: " << added << ", update: " << updated;
  TRACE_EXITING("ENCRYPT::GetUpdateDetailInfo");
  return ERR_SUCCEED;
}

// The console prompts are shared with the other store commands; a new
// store's passphrase is typed twice.
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
