#include "Src/Misc/Edit/Edit.h"

#include "Src/Misc/Common/ChangeCount.h"
#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/KeyText.h"
#include "Src/Misc/Common/PlainText.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "host/KeyOrderWalk.h"
#include "suite/platform/Editor.h"
#include "suite/platform/PrivateFile.h"
#include "suite/platform/StandardStreams.h"
#include "suite/secretmemory/SecretMemory.h"

namespace {

constexpr char kSettingsFileName[] = "settings.json";
constexpr char kCredentialsFileName[] = "credentials.json";
// The edited file may grow beyond the store's text, within reason.
constexpr std::size_t kMaxEditedSize = 256u << 20;

}  // namespace

uint32_t EDIT::RunOnStore(EnDecrypt& store) {
  uint32_t code = ERR_SUCCEED;
  bool again = true;
  while (again) {
    again = false;
    RecordMap stored;
    const ScopedWipe wipe_stored(stored);
    if ((code = ReadStoredRecords(store, stored)) != ERR_SUCCEED) return code;
    // The editor shows every value: a reveal, and the change recorded after.
    if ((code = RecordReveal(KeysOf(stored), true)) != ERR_SUCCEED) return code;
    code = EditRecords(store, stored, again);
  }
  return code;
}

uint32_t EDIT::EditRecords(EnDecrypt& store, const RecordMap& stored, bool& again) {
  std::string text;
  ScopedWipe<std::string> wipe_text(text);
  bool credentials = false;
  uint32_t code = FormatPlainText(stored, text, credentials);
  if (code != ERR_SUCCEED) return code;
  // What the editor opens: the store's text, or the user's own text again
  // after it could not be read.
  std::string draft = text;
  ScopedWipe<std::string> wipe_draft(draft);
  for (;;) {
    std::string edited_text;
    ScopedWipe<std::string> wipe_edited_text(edited_text);
    RecordMap edited;
    const ScopedWipe wipe_edited(edited);
    std::string reason;
    code = RunEditorOn(draft, credentials, edited_text, edited, reason);
    if (code != ERR_SUCCEED) return code;
    if (edited_text == text) {
      CONSOLE_MESSAGE(kLevelConsole) << "No change; the store " << path << " is left as it was.";
      return ERR_SUCCEED;
    }
    if (reason.empty()) {
      bool conflict = false;
      code = WriteEdited(store, stored, edited, conflict);
      again = conflict && platform::StandardInputIsTerminal() &&
              AskYesNo(env.GetKeys(), "Open the editor again on the records as they are now");
      return code;
    }
    KLOG(kLevelError) << "Read the edited file error: " << reason << ".";
    CONSOLE_MESSAGE(kLevelError) << "Nothing was changed: the edited file cannot be read: "
                                 << reason << ".";
    // On a terminal the work is not lost to a typo: the same text opens again.
    if (!platform::StandardInputIsTerminal() ||
        !AskYesNo(env.GetKeys(), "Open the editor again on your text")) {
      return ERR_INVALID_FILE;
    }
    draft.swap(edited_text);
  }
}

uint32_t EDIT::RunEditorOn(const std::string& text, bool credentials, std::string& edited_text,
                           RecordMap& edited, std::string& reason) {
  platform::PrivateFile file;
  reason.clear();
  if (!file.Create(credentials ? kCredentialsFileName : kSettingsFileName, text, reason)) {
    KLOG(kLevelError) << "Make the file to edit error: " << reason << ".";
    CONSOLE_MESSAGE(kLevelError) << "No private file to edit can be made: " << reason << ".";
    return ERR_WRITE_FILE;
  }
  if (!platform::RunEditor(file.GetPath(), reason)) {
    KLOG(kLevelError) << "Edit " << file.GetPath() << " error: " << reason << ".";
    CONSOLE_MESSAGE(kLevelError) << "Nothing was changed: " << reason << ".";
    return ERR_INTERRUPTED;
  }
  if (!file.ReadBack(kMaxEditedSize, edited_text)) {
    CONSOLE_MESSAGE(kLevelError) << "Nothing was changed: the edited file is gone, is no longer "
                                    "a regular file or is too large.";
    return ERR_READ_FILE;
  }
  // Read as encrypt reads a file of the store's form, from the text read
  // back (a list without entries included: it empties the store).
  static_cast<void>(ReadPlainText(edited_text,
                                  credentials ? PlainForm::kCredentials : PlainForm::kSettings,
                                  edited, reason));
  return ERR_SUCCEED;
}

// Only what the user changed is written, onto the store as it is under the
// writers' lock: a record another command wrote while the editor was open
// stays, and a record the user changed that was also changed meanwhile
// stops the write.
uint32_t EDIT::WriteEdited(EnDecrypt& store, const RecordMap& stored, const RecordMap& edited,
                           bool& conflict) {
  std::vector<std::string> changed;
  RecordMap before;
  RecordMap after;
  const ScopedWipe wipe_before(before);
  const ScopedWipe wipe_after(after);
  const std::string* bad_key = nullptr;
  key_order::WalkInKeyOrder(
      stored, edited,
      [&](const RecordMap::value_type& old) {
        changed.push_back(old.first);
        before.emplace_hint(before.end(), old);
      },
      [&](const RecordMap::value_type& old, const RecordMap::value_type& now) {
        if (old.second == now.second) return;
        changed.push_back(now.first);
        before.emplace_hint(before.end(), old);
        after.emplace_hint(after.end(), now);
      },
      [&](const RecordMap::value_type& now) {
        if (!IsPlainText(now.first)) {
          bad_key = &now.first;
          return false;
        }
        changed.push_back(now.first);
        after.emplace_hint(after.end(), now);
        return true;
      });
  if (bad_key != nullptr) {
    std::string shown;
    AppendShownText(*bad_key, shown);
    CONSOLE_MESSAGE(kLevelError) << "Nothing was written: the new key '" << shown
                                 << "' is not UTF-8 text without control characters.";
    return ERR_INVALID_FILE;
  }
  if (changed.empty()) {
    CONSOLE_MESSAGE(kLevelConsole) << "No change; the store " << path << " is left as it was.";
    return ERR_SUCCEED;
  }
  const bool replaces = true;
  ShowChangeCount(CountChanges(edited, stored, replaces), replaces);
  if (!HasOption("quiet") && !AskToChangeStore(env.GetKeys(), path)) {
    return ERR_INTERRUPTED;
  }
  std::vector<std::string> conflicts;
  const StoreStatus status = store.ApplyEdit(path, passphrase, changed, before, after, conflicts);
  const uint32_t code = FromStoreStatus(status);
  conflict = status.IsConflict();
  if (conflict) {
    std::string keys;
    for (const std::string& key : conflicts) keys += (keys.empty() ? "" : ", ") + key;
    KLOG(kLevelError) << "Edit of " << path << " conflicts on " << conflicts.size() << " keys.";
    CONSOLE_MESSAGE(kLevelError) << "Nothing was written: while the editor was open another "
                                 << "command changed what you changed too: " << keys << ".";
    return code;
  }
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Encrypt file " << path << " error: " << status << ".";
    return code;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Succeed in storing the edited records in file: " << path
                                 << ".";
  return ERR_SUCCEED;
}
