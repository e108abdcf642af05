#include "Src/Misc/Set/Set.h"

#include <sodium.h>

#include <string>

#include <vector>

#include "Src/Misc/Common/ChangeCount.h"
#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/InputBytes.h"
#include "Src/Misc/Common/InputForm.h"
#include "Src/Misc/Common/KeyText.h"
#include "Src/Misc/Common/PlainText.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "suite/platform/Files.h"
#include "suite/platform/StandardStreams.h"
#include "suite/secretmemory/SecretMemory.h"

namespace {

constexpr char kValueField[] = "value";
// The most bytes one value may hold, from a file or standard input.
constexpr std::size_t kMaxValueSize = 16u << 20;

// The text less one final newline, if it has one.
void DropFinalNewline(std::string& text) {
  if (!text.empty() && text.back() == '\n') {
    text.back() = '\0';
    text.pop_back();
  }
}

// True, after saying so on the console, when the value typed into `form`
// was longer than a field holds.
bool RefuseTooLong(const InputForm& form) {
  if (!form.TooLong(kValueField)) return false;
  CONSOLE_MESSAGE(kLevelError) << "The value typed is longer than " << kMaxWholeFieldSize
                               << " bytes, the most one typed value may hold; nothing was "
                                  "stored; a longer one can come from --value-from FILE or -.";
  return true;
}

}  // namespace

uint32_t SET::CheckOptions() {
  if (HasOption("target") && type == SensitiveSetting) {
    return RefuseOption("--target is for a credentials store; give --key NAME for settings");
  }
  if (HasOption("key") && type == Credential && !IsCredentialKey(GetOption("key"))) {
    return RefuseOption("A credentials key is <target>/user or <target>/password");
  }
  // A key is shown wherever it is listed: it must read as typed there.
  for (const char* name : {"key", "target"}) {
    if (HasOption(name) && !IsPlainText(GetOption(name))) {
      std::string shown;
      AppendShownText(GetOption(name), shown);
      return RefuseOption(std::string("--") + name + " '" + shown +
                          "' is not UTF-8 text without control characters");
    }
  }
  return ERR_SUCCEED;
}

uint32_t SET::CheckBeforePrompt(EncryptionMode mode) {
  // Standard input then carries the value: a passphrase cannot come from it too.
  if (GetOption("value-from") == kStandardInputName && mode == kAttendedMode &&
      !HasOption("passphrase-file") && !platform::StandardInputIsTerminal()) {
    return RefuseOption(
        "--value-from - takes standard input; give --passphrase-file FILE for an attended store");
  }
  return ERR_SUCCEED;
}

uint32_t SET::RunOnStore(EnDecrypt& store) {
  RecordMap stored;
  const ScopedWipe wipe_stored(stored);
  if (!store_is_new) {
    const uint32_t code = ReadStoredRecords(store, stored);
    if (code != ERR_SUCCEED) return code;
  }
  std::string value;
  ScopedWipe<std::string> wipe_value(value);
  RecordMap changes;
  const ScopedWipe wipe_changes(changes);
  uint32_t code = MakeChanges(stored, value, changes);
  if (code != ERR_SUCCEED) return code;

  ShowChangeCount(CountChanges(changes, stored));
  if (!store_is_new && !HasOption("quiet") && !AskToChangeStore(env.GetKeys(), path)) {
    return ERR_INTERRUPTED;
  }
  const StoreStatus status = store.Encrypt(changes, path, passphrase, true);
  code = FromStoreStatus(status);
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Encrypt file " << path << " error: " << status << ".";
    return code;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Succeed in storing the record in file: " << path << ".";
  return ERR_SUCCEED;
}

uint32_t SET::MakeChanges(const RecordMap& stored, std::string& value, RecordMap& changes) const {
  const bool credentials =
      store_is_new ? type == Credential || HasOption("target") : IsCredentialStore(stored);
  if (HasOption("target") && !credentials) {
    return RefuseOption("--target is for a credentials store; " + path + " holds settings");
  }
  const std::string key = GetOption("key");
  std::string target = GetOption("target");
  if (credentials && HasOption("key")) {
    if (!SplitCredentialKey(key, target)) {
      return RefuseOption("A credentials key is <target>/user or <target>/password");
    }
    // Checked before the value is asked: nothing typed is thrown away.
    if (stored.count(CredentialUserKey(target)) == 0 ||
        stored.count(CredentialPasswordKey(target)) == 0) {
      return RefuseOption("Setting " + key + " alone would store half a credential pair; add " +
                          target + " whole with --target " + target + " --user NAME");
    }
  }
  const uint32_t code = ReadValue(value);
  if (code != ERR_SUCCEED) return code;
  if (HasOption("target")) {
    changes[CredentialUserKey(target)] = GetOption("user");
    changes[CredentialPasswordKey(target)].swap(value);
  } else {
    changes[key].swap(value);
  }
  return ERR_SUCCEED;
}

uint32_t SET::ReadValue(std::string& value) const {
  if (HasOption("value-from")) {
    const std::string from = GetOption("value-from");
    std::string reason;
    SecretString bytes;
    const bool read = ReadFileOrStandardInput(from, kMaxValueSize, bytes, reason);
    if (read) value.assign(bytes.data(), bytes.size());
    if (!read) {
      KLOG(kLevelError) << "Read value from " << from << " error: " << reason << ".";
      CONSOLE_MESSAGE(kLevelError) << "The value cannot be read from " << from << ": " << reason
                                   << ".";
      return ERR_READ_FILE;
    }
    DropFinalNewline(value);
    return ERR_SUCCEED;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "please enter the value to store:";
  // The line is kept whole, UTF-8 and tabs included; one too long for the
  // field is refused rather than stored cut.
  InputForm form(env.GetKeys());
  form.AddField(kValueField, "Enter value", true, FieldText::kWhole);
  form.ReadFields();
  if (RefuseTooLong(form)) return ERR_READ_FILE;
  std::string entered = form.GetValue(kValueField);
  ScopedWipe<std::string> wipe_entered(entered);
  CONSOLE_MESSAGE(kLevelConsole) << "please confirm again:";
  form.ReadFields();
  if (RefuseTooLong(form)) return ERR_READ_FILE;
  std::string again = form.GetValue(kValueField);
  ScopedWipe<std::string> wipe_again(again);
  // WARNING: compared in constant time after the length, as passphrases are.
  if (entered.size() != again.size() ||
      sodium_memcmp(entered.data(), again.data(), entered.size()) != 0) {
    CONSOLE_MESSAGE(kLevelError) << "The two entries differ; nothing was stored.";
    return ERR_INTERRUPTED;
  }
  value.swap(entered);
  return ERR_SUCCEED;
}
