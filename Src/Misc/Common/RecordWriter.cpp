#include "Src/Misc/Common/RecordWriter.h"

#include <cctype>

#include "Src/Misc/Common/AuditTrail.h"
#include "Src/Misc/Common/ChangeCount.h"
#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/OpenStore.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/StoreStatus.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

// The trace lines of a step, named after the command that runs it.
#define STEP_ENTERING(step) KLOG(kLevelTrace) << "Entering  " << owner << "::" step
#define STEP_EXITING(step) KLOG(kLevelTrace) << "Exiting  " << owner << "::" step

RecordWriter::RecordWriter(const char* owner_name, const HostContext& run_context,
                           TypedRecords& typed_records, Prompts prompt_style,
                           const CommandEnv& run_env)
    : owner(owner_name),
      context(run_context),
      records(typed_records),
      prompts(prompt_style),
      env(run_env) {}

uint32_t RecordWriter::WriteAllTypes() {
  // Presence alone selects unattended mode; the option's value is not read.
  const EncryptionMode mode =
      context.options.count("unattended") != 0 ? kUnattendedMode : kAttendedMode;
  // One passphrase for the whole run: only the pre-check writes it, anew
  // for every type in attended mode; unattended runs keep it empty.
  std::string passphrase;
  const ScopedWipe passphrase_wipe(passphrase);
  std::string path;
  for (const auto& entry : records) {
    const FileType type = entry.first;
    path.clear();
    const std::string key = EncryptedPathKeys[type];
    const uint32_t located = LocateTypeStore(key, path);
    if (located != ERR_SUCCEED) {
      KLOG_NOTE(kLevelError) << "Get value: " << key << " error: " << located << ".";
      return ERR_READ_FILE;
    }
    // What the pre-check decrypts of this type's store, for its write alone.
    EnDecrypt::ReadForUpdate read;
    uint32_t code = PreCheck(mode, path, passphrase, type, &read);
    if (code != ERR_SUCCEED) return code;
    code = Write(type, path, passphrase, &read);
    if (code != ERR_SUCCEED) {
      KLOG(kLevelError) << "Encrypt file error.";
      return code;
    }
    CONSOLE_MESSAGE(kLevelConsole)
        << "Succeed in encrypting the message and restoring it info file: " << path << ". "
        << "\n"
        << "Suggest you delete the file with plain text!";
  }
  return ERR_SUCCEED;
}

// Where each type's encrypted store lives, by the rules shared with the
// other store commands.
uint32_t RecordWriter::LocateTypeStore(const std::string& key, std::string& path) {
  STEP_ENTERING("GetEncryptedFilePath");
  const uint32_t code = LocateStore(key, path);
  if (!path.empty()) {
    STEP_EXITING("GetEncryptedFilePath");
  }
  return code;
}

uint32_t RecordWriter::PreCheck(int mode, const std::string& path, std::string& passphrase,
                                FileType type, EnDecrypt::ReadForUpdate* read) {
  STEP_ENTERING("EncryptPreCheck");
  if (!EntryExists(path)) {
    if (mode == kAttendedMode) {
      const uint32_t code = AskStorePassphrase(passphrase, path);
      if (code != ERR_SUCCEED) {
        KLOG(kLevelError) << "Get user passphrase to encrypt file " << path << "error: " << code;
        return code;
      }
    }
  } else {
    const uint32_t code = UpdatePreCheck(mode, path, passphrase, type, read);
    if (code != ERR_SUCCEED) {
      KLOG(kLevelError) << "Prepare for update encrypted file error: " << code;
      return code;
    }
    // Unattended mode still asks: only "quiet" skips the question.
    if (context.options.count("quiet") == 0 && !ConfirmUpdate(path)) {
      return ERR_INTERRUPTED;
    }
  }
  STEP_EXITING("EncryptPreCheck");
  return ERR_SUCCEED;
}

uint32_t RecordWriter::UpdatePreCheck(int mode, const std::string& path,
                                      std::string& passphrase, FileType type,
                                      EnDecrypt::ReadForUpdate* read) {
  STEP_ENTERING("EncryptUpdatePreCheck");
  EnDecrypt* store = GetStore();
  if (store == nullptr) return ERR_INTERNAL;
  const uint32_t code = OpenExistingStore(
      *store, path, static_cast<EncryptionMode>(mode), &MapStoreStatus,
      [this, &path](std::string& typed) { return AskStorePassphrase(typed, path); },
      passphrase);
  if (code != ERR_SUCCEED) return code;
  const uint32_t detail = CountUpdate(path, passphrase, type, read);
  STEP_EXITING("EncryptUpdatePreCheck");
  return detail;
}

uint32_t RecordWriter::CountUpdate(const std::string& path, const std::string& passphrase,
                                   FileType type, EnDecrypt::ReadForUpdate* read) {
  STEP_ENTERING("GetUpdateDetailInfo");
  EnDecrypt* store = GetStore();
  if (store == nullptr) return ERR_INTERNAL;
  // The stored records serve only the counts: they are looked at where the
  // store library opened them, never copied out.
  ChangeCount count;
  const auto counted = [this, type, &count](const EnDecrypt::RecordViews& stored) {
    count = CountChanges(records[type], stored);
  };
  const uint32_t code = MapStoreStatus(store->ViewRecords(path, passphrase, counted, read));
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Parse the file " << path << " fail.";
    return code;
  }
  ShowChangeCount(count);
  STEP_EXITING("GetUpdateDetailInfo");
  return ERR_SUCCEED;
}

uint32_t RecordWriter::Write(FileType type, const std::string& path,
                             const std::string& passphrase, EnDecrypt::ReadForUpdate* read) {
  STEP_ENTERING("RunEncrypt");
  EnDecrypt* store = GetStore();
  if (store == nullptr) return ERR_INTERNAL;
  // Always merge: stored records absent from this input stay in the store.
  const bool merge = true;
  // The write is recorded in the audit log once it is durable or refused,
  // silently: encrypt's console lines stay as they are.
  AuditAct act;
  for (const char* letter = owner; *letter != '\0'; ++letter) {
    act.command += static_cast<char>(std::tolower(static_cast<unsigned char>(*letter)));
  }
  act.store = path;
  for (const auto& record : records[type]) act.keys.push_back(record.first);
  const uint32_t code =
      MapStoreStatus(store->Encrypt(records[type], path, passphrase, merge, read));
  static_cast<void>(RecordAct(act, code));
  return code;
}

// The console prompts are shared with the other store commands; a new
// store's passphrase is typed twice.
uint32_t RecordWriter::AskStorePassphrase(std::string& passphrase, const std::string& path) {
  STEP_ENTERING("GetUserPassphrase");
  const bool new_store = !EntryExists(path);
  const uint32_t code =
      prompts == Prompts::kEncrypts ? AskPassphrase(env.GetKeys(), path, new_store, passphrase)
      : new_store ? AskNewPassphrase(env.GetKeys(), path, kMinPassphraseLength, passphrase)
                  : AskExistingPassphrase(env.GetKeys(), path, kMinPassphraseLength, passphrase);
  if (code == ERR_SUCCEED) {
    STEP_EXITING("GetUserPassphrase");
  }
  return code;
}

bool RecordWriter::ConfirmUpdate(const std::string& path) {
  return prompts == Prompts::kEncrypts ? AskToUpdate(env.GetKeys(), path)
                                       : AskToChangeStore(env.GetKeys(), path);
}

EnDecrypt* RecordWriter::GetStoreInstance() {
  EnDecrypt* store = EnDecrypt::GetInstance();
  if (store == nullptr) {
    KLOG(kLevelError) << "Get EnDecrypt instance error.";
  }
  return store;
}

EnDecrypt* RecordWriter::GetStore() const {
  return env.store != nullptr ? env.store : GetStoreInstance();
}
