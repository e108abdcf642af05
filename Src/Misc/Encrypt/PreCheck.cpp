// Checks made before one type's records are written, and the command's
// console prompts. The store library is asked once what is at the path:
// that answer, not a look at the path, tells a new store from an existing
// one, and the update acts on it.
#include "Src/Misc/Common/RecordWriter.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/Trace.h"
#include "Src/Misc/Encrypt/Encrypt.h"
#include "Src/Misc/Encrypt/EncryptVisit.h"
#include "errors/ErrorCatalogue.h"

uint32_t ENCRYPT::EncryptPreCheck(const int& mode, const std::string& path, std::string& passphrase,
                                  const FileType& type) {
  TRACE_ENTERING("ENCRYPT::EncryptPreCheck");
  // Read by the prompts, the count and the write of this type; EncryptProc
  // drops it when the type ends.
  EncryptVisit& visit = StartEncryptVisit();
  if (EnDecrypt* store = EnDecrypt::GetInstance(); store != nullptr) {
    visit.found = FindStore(*store, path);
  } else if (EntryExists(path)) {
    // No library to ask: the entry at the path decides, and the update's
    // own request for the library reports it missing.
    visit.found.status = StoreStatus(endecrypt_status::kOk);
  } else {
    visit.found.status = StoreStatus(endecrypt_status::kNotExist);
  }
  if (visit.found.IsAbsent()) {
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
      return MapEncryptionResult(endecrypt_status::kDeclined).code;
    }
  }
  TRACE_EXITING("ENCRYPT::EncryptPreCheck");
  return ERR_SUCCEED;
}

uint32_t ENCRYPT::EncryptUpdatePreCheck(const int& mode, const std::string& path,
                                        std::string& passphrase, const FileType& type) {
  TRACE_ENTERING("ENCRYPT::EncryptUpdatePreCheck");
  if (GetStoreInstance(CommandEnv{}) == nullptr) return ERR_INTERNAL;
  // The answer EncryptPreCheck had: a store whose mode the library could
  // not read ends here with that answer's code.
  const EncryptVisit* visit = CurrentEncryptVisit();
  if (visit == nullptr) return ERR_INTERNAL;
  const uint32_t code = OpenExistingStore(
      visit->found, path, static_cast<EncryptionMode>(mode), &MapEncryptionCode,
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
  EnDecrypt* store = GetStoreInstance(CommandEnv{});
  if (store == nullptr) return ERR_INTERNAL;
  EncryptVisit* visit = CurrentEncryptVisit();
  const uint32_t code = CountStoreChanges(
      *store, path, passphrase, file_records[type], visit != nullptr ? &visit->read : nullptr,
      &MapEncryptionCode);
  if (code != ERR_SUCCEED) return code;
  TRACE_EXITING("ENCRYPT::GetUpdateDetailInfo");
  return ERR_SUCCEED;
}

CommandResult ENCRYPT::GetUserPassphrase(std::string& passphrase, const std::string& path) {
  TRACE_ENTERING("ENCRYPT::GetUserPassphrase");
  // The pre-check's answer says whether the store is new (its passphrase is
  // typed twice); asked outside a pre-check, the stricter new store's rule.
  const EncryptVisit* visit = CurrentEncryptVisit();
  const bool new_store = visit == nullptr || visit->found.IsAbsent();
  CommandResult result;
  MakeCommandResult(result, AskPassphrase(ConsoleKeys(), path, new_store, passphrase));
  if (result.code == ERR_SUCCEED) {
    TRACE_EXITING("ENCRYPT::GetUserPassphrase");
  }
  return result;
}

bool ENCRYPT::ConfirmUpdate(const std::string& path) { return AskToUpdate(ConsoleKeys(), path); }
