#include "Src/Misc/Edit/Edit.h"

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/PlainText.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/Trace.h"
#include "Src/Misc/Edit/EditedText.h"
#include "Src/Misc/Edit/Editor.h"
#include "Src/Misc/Edit/PrivateFile.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "suite/secretmemory/SecretMemory.h"

namespace {

constexpr char kSettingsFileName[] = "settings.json";
constexpr char kCredentialsFileName[] = "credentials.json";
// The edited file may grow beyond the store's text, within reason.
constexpr std::size_t kMaxEditedSize = 256u << 20;

}  // namespace

uint32_t EDIT::RunOnStore(EnDecrypt& store) {
  RecordMap stored;
  const ScopedWipe wipe_stored(stored);
  uint32_t code = ReadStoredRecords(store, stored);
  if (code != ERR_SUCCEED) return code;
  std::string text;
  ScopedWipe<std::string> wipe_text(text);
  bool credentials = false;
  code = FormatRecords(stored, text, credentials);
  if (code != ERR_SUCCEED) return code;

  PrivateFile file;
  std::string reason;
  if (!file.Create(credentials ? kCredentialsFileName : kSettingsFileName, text, reason)) {
    KLOG(kLevelError) << "Make the file to edit error: " << reason << ".";
    CONSOLE_MESSAGE(kLevelError) << "No private file to edit can be made: " << reason << ".";
    return ERR_WRITE_FILE;
  }
  if (!RunEditor(file.GetPath(), reason)) {
    KLOG(kLevelError) << "Edit " << file.GetPath() << " error: " << reason << ".";
    CONSOLE_MESSAGE(kLevelError) << "Nothing was changed: " << reason << ".";
    return ERR_INTERRUPTED;
  }
  std::string edited_text;
  ScopedWipe<std::string> wipe_edited_text(edited_text);
  if (!file.ReadBack(kMaxEditedSize, edited_text)) {
    CONSOLE_MESSAGE(kLevelError) << "Nothing was changed: the edited file is gone, is no longer "
                                    "a regular file or is too large.";
    return ERR_READ_FILE;
  }
  if (edited_text == text) {
    CONSOLE_MESSAGE(kLevelConsole) << "No change; the store " << path << " is left as it was.";
    return ERR_SUCCEED;
  }
  RecordMap edited;
  const ScopedWipe wipe_edited(edited);
  if (!ReadEditedFile(file.GetPath(), edited_text, credentials, edited, reason)) {
    KLOG(kLevelError) << "Read the edited file error: " << reason << ".";
    CONSOLE_MESSAGE(kLevelError) << "Nothing was changed: the edited file cannot be read: "
                                 << reason << ".";
    return ERR_INVALID_FILE;
  }
  return WriteEdited(store, stored, edited);
}

uint32_t EDIT::FormatRecords(const RecordMap& records, std::string& text,
                             bool& credentials) const {
  std::string misfit;
  credentials = type != SensitiveSetting && FormatCredentials(records, text, misfit);
  // An empty "--store" file is edited as settings.
  if (credentials && type == kNoType && records.empty()) credentials = false;
  if (credentials) return ERR_SUCCEED;
  if (type == Credential) {
    KLOG(kLevelError) << "Record '" << misfit << "' of " << path << " fits no credential target.";
    CONSOLE_MESSAGE(kLevelError) << "The record " << misfit
                                 << " is not the user or password of a credential target.";
    return ERR_ENCRYPTED_FILE_INVALID;
  }
  FormatSettings(records, text);
  return ERR_SUCCEED;
}

uint32_t EDIT::WriteEdited(EnDecrypt& store, const RecordMap& stored, const RecordMap& edited) {
  int added = 0;
  int updated = 0;
  int removed = 0;
  for (const auto& [key, value] : edited) {
    const auto old = stored.find(key);
    if (old == stored.end()) {
      ++added;
    } else if (old->second != value) {
      ++updated;
    }
  }
  for (const auto& [key, value] : stored) removed += edited.count(key) == 0 ? 1 : 0;
  if (added + updated + removed == 0) {
    CONSOLE_MESSAGE(kLevelConsole) << "No change; the store " << path << " is left as it was.";
    return ERR_SUCCEED;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "add: " << added << ", update: " << updated
                                 << ", remove: " << removed;
  if (!HasOption("quiet") && !AskToUpdate(path)) {
    return FromStoreStatus(endecrypt_status::kInterrupted);
  }
  const int status = store.Encrypt(edited, path, passphrase, false);
  const uint32_t code = FromStoreStatus(status);
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Encrypt file " << path << " error: " << status << ".";
    return code;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Succeed in storing the edited records in file: " << path
                                 << ".";
  return ERR_SUCCEED;
}
