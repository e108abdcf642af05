#include "Src/Misc/Common/RecordWriter.h"

#include "Src/Misc/Common/AuditTrail.h"
#include "Src/Misc/Common/ChangeCount.h"
#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/StoreStatus.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

EnDecrypt* GetStoreInstance(const CommandEnv& env) {
  EnDecrypt* store = env.GetStore();
  if (store == nullptr) {
    KLOG(kLevelError) << "Get EnDecrypt instance error.";
  }
  return store;
}

uint32_t CountStoreChanges(EnDecrypt& store, const std::string& path,
                           const std::string& passphrase, const RecordMap& records,
                           EnDecrypt::ReadForUpdate* read, const StoreStatusMap& map_status) {
  ChangeCount count;
  const auto counted = [&records, &count](const EnDecrypt::RecordViews& stored) {
    count = CountChanges(records, stored);
  };
  const uint32_t code = map_status(store.ViewRecords(path, passphrase, counted, read));
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Parse the file " << path << " fail.";
    return code;
  }
  ShowChangeCount(count);
  return ERR_SUCCEED;
}

uint32_t WriteTypeRecords(EnDecrypt& store, const std::string& command, const RecordMap& records,
                          const std::string& path, const std::string& passphrase,
                          EnDecrypt::ReadForUpdate* read, const StoreStatusMap& map_status) {
  // Always merge: stored records absent from this input stay in the store.
  const bool merge = true;
  AuditAct act;
  act.command = command;
  act.store = path;
  for (const auto& record : records) act.keys.push_back(record.first);
  const uint32_t code = map_status(store.Encrypt(records, path, passphrase, merge, read));
  // Recorded silently: the command's console lines stay as they are.
  static_cast<void>(RecordAct(act, code));
  return code;
}

void ShowTypeWritten(const std::string& path) {
  CONSOLE_MESSAGE(kLevelConsole)
      << "Succeed in encrypting the message and restoring it info file: " << path << ". "
      << "\n"
      << "Suggest you delete the file with plain text!";
}

RecordWriter::RecordWriter(const HostContext& run_context, TypedRecords& typed_records,
                           const CommandEnv& run_env)
    : context(run_context), records(typed_records), env(run_env) {}

uint32_t RecordWriter::WriteAllTypes() {
  TRACE_ENTERING("RecordWriter::WriteAllTypes");
  // Presence alone selects unattended mode; the option's value is not read.
  const EncryptionMode mode =
      context.options.count("unattended") != 0 ? kUnattendedMode : kAttendedMode;
  // One passphrase for the whole run: only the pre-check writes it, anew
  // for every type in attended mode; unattended runs keep it empty.
  std::string passphrase;
  const ScopedWipe passphrase_wipe(passphrase);
  std::string path;
  for (const auto& [type, typed] : records) {
    path.clear();
    const std::string key = EncryptedPathKeys[type];
    const uint32_t located = LocateStore(key, path);
    if (located != ERR_SUCCEED) {
      KLOG_NOTE(kLevelError) << "Get value: " << key << " error: " << located << ".";
      return ERR_READ_FILE;
    }
    // What the pre-check decrypts of this type's store, for its write alone.
    EnDecrypt::ReadForUpdate read;
    uint32_t code = PreCheck(mode, path, passphrase, type, read);
    if (code != ERR_SUCCEED) return code;
    EnDecrypt* store = GetStoreInstance(env);
    code = store == nullptr ? ERR_INTERNAL
                            : WriteTypeRecords(*store, "import", typed, path, passphrase, &read,
                                               &MapStoreStatus);
    if (code != ERR_SUCCEED) {
      KLOG(kLevelError) << "Encrypt file error.";
      return code;
    }
    ShowTypeWritten(path);
  }
  TRACE_EXITING("RecordWriter::WriteAllTypes");
  return ERR_SUCCEED;
}

uint32_t RecordWriter::PreCheck(EncryptionMode mode, const std::string& path,
                                std::string& passphrase, FileType type,
                                EnDecrypt::ReadForUpdate& read) {
  EnDecrypt* store = GetStoreInstance(env);
  if (store == nullptr) return ERR_INTERNAL;
  const StoreFound found = FindStore(*store, path);
  if (found.IsAbsent()) {
    if (mode == kUnattendedMode) return ERR_SUCCEED;
    const uint32_t code = AskNewPassphrase(env.GetKeys(), path, kMinPassphraseLength, passphrase);
    if (code != ERR_SUCCEED) {
      KLOG(kLevelError) << "Get user passphrase to encrypt file " << path << "error: " << code;
    }
    return code;
  }
  uint32_t code = OpenExistingStore(
      found, path, mode, &MapStoreStatus,
      [this, &path](std::string& typed) {
        return AskExistingPassphrase(env.GetKeys(), path, kMinPassphraseLength, typed);
      },
      passphrase);
  if (code == ERR_SUCCEED) {
    code = CountStoreChanges(*store, path, passphrase, records[type], &read, &MapStoreStatus);
  }
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Prepare for update encrypted file error: " << code;
    return code;
  }
  // Unattended mode still asks: only "quiet" skips the question.
  if (context.options.count("quiet") == 0 && !AskToChangeStore(env.GetKeys(), path)) return ERR_INTERRUPTED;
  return ERR_SUCCEED;
}
