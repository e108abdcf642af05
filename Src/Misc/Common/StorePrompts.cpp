#include "Src/Misc/Common/StorePrompts.h"

#include <sodium.h>

#include <cstddef>
#include <locale>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/InputForm.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"

namespace {

constexpr char kPassphraseField[] = "password";
constexpr char kConfirmField[] = "confirm";

// WARNING: the comparison after the length check takes the same time
// wherever the entries differ, so timing tells nothing about the first one.
bool SameSecret(const std::string& first, const std::string& second) {
  return first.size() == second.size() &&
         sodium_memcmp(first.data(), second.data(), first.size()) == 0;
}

// True, after a console line saying so, when the passphrase field of
// `form` ended at the end of input with nothing typed: no passphrase was
// given (no terminal, nothing on standard input), which is no wrong one.
bool NoneGiven(const InputForm& form, const std::string& entered, const char* what) {
  if (!entered.empty() || !form.EndedAtEndOfInput(kPassphraseField)) return false;
  CONSOLE_MESSAGE(kLevelError) << "No " << what
                               << " was given: standard input ended before one was typed.";
  return true;
}

}  // namespace

// The passphrase never reaches the console or the log: the form echoes
// nothing, and only the fixed prompt lines are written. `passphrase` is
// written only on success, so a rejected entry is not handed on.
uint32_t AskPassphrase(KeySource& keys, const std::string& path, bool new_passphrase,
                       std::string& passphrase, const char* name) {
  return AskPassphrase(keys, path, new_passphrase, kMinPassphraseLength, passphrase, name);
}

uint32_t AskPassphrase(KeySource& keys, const std::string& path, bool new_passphrase,
                       std::size_t min_length, std::string& passphrase, const char* name) {
  {
    ConsoleMessage prompt(kLevelConsole, __FILE__, __LINE__);
    prompt << "please enter the " << (name != nullptr ? name : "passphrase") << " for " << '"'
           << path << '"' << ".";
    // An existing store's passphrase is checked by decrypting it, so its
    // prompt neither states the minimum nor asks twice.
    if (new_passphrase) prompt << " (at least " << min_length << " characters):";
  }

  InputForm form(keys);
  form.AddField(kPassphraseField, "Enter passphrase", true);
  form.ReadFields();
  // The copies taken from the form are wiped however the prompt ends.
  std::string entered = form.GetValue(kPassphraseField);
  const ScopedWipe entered_wipe(entered);
  // No second attempt: a short or mismatched entry ends the run.
  if (entered.size() < min_length) {
    // Where the console lines are fixed (no `name`), the cause is a note
    // the host shows after the run.
    if (name == nullptr) {
      KLOG_NOTE(kLevelError) << "The passphrase entered for " << path << " is shorter than "
                             << min_length << " characters.";
    } else {
      KLOG(kLevelError) << "The passphrase entered for " << path << " is shorter than "
                        << min_length << " characters.";
      CONSOLE_MESSAGE(kLevelError) << "The " << name << " is shorter than " << min_length
                                   << " characters.";
    }
    return ERR_PASSPHRASE;
  }

  if (new_passphrase) {
    CONSOLE_MESSAGE(kLevelConsole) << "please confirm again:";
    form.ReadFields();
    std::string again = form.GetValue(kPassphraseField);
    const ScopedWipe again_wipe(again);
    if (!SameSecret(entered, again)) {
      if (name == nullptr) {
        KLOG_NOTE(kLevelError) << "The two passphrase entries for " << path << " differ.";
      } else {
        KLOG(kLevelError) << "The two passphrase entries for " << path << " differ.";
        CONSOLE_MESSAGE(kLevelError) << "The two entries of the " << name << " differ.";
      }
      return ERR_PASSPHRASE;
    }
  }

  WipeString(passphrase);
  passphrase.swap(entered);
  return ERR_SUCCEED;
}

uint32_t AskExistingPassphrase(KeySource& keys, const std::string& path, std::size_t min_length,
                               std::string& passphrase, const char* name) {
  const char* const what = name != nullptr ? name : "passphrase";
  CONSOLE_MESSAGE(kLevelConsole) << "please enter the " << what << " for " << '"' << path << '"'
                                 << ".";
  InputForm form(keys);
  form.AddField(kPassphraseField, "Enter passphrase", true);
  form.ReadFields();
  std::string entered = form.GetValue(kPassphraseField);
  const ScopedWipe entered_wipe(entered);
  if (NoneGiven(form, entered, what)) return ERR_USER_QUIT;
  // An existing store's passphrase is checked by decrypting it, so a short
  // entry is refused once, with no second attempt.
  if (entered.size() < min_length) {
    KLOG(kLevelError) << "The passphrase entered for " << path << " is shorter than "
                      << min_length << " characters.";
    if (name != nullptr) {
      CONSOLE_MESSAGE(kLevelError) << "The " << name << " is shorter than " << min_length
                                   << " characters.";
    }
    return ERR_PASSPHRASE;
  }
  WipeString(passphrase);
  passphrase.swap(entered);
  return ERR_SUCCEED;
}

uint32_t AskNewPassphrase(KeySource& keys, const std::string& path, std::size_t min_length,
                          std::string& passphrase, const char* name) {
  const char* const what = name != nullptr ? name : "passphrase";
  CONSOLE_MESSAGE(kLevelConsole) << "please enter the " << what << " for " << '"' << path << '"'
                                 << ". (" << min_length << " to " << kMaxFieldLength
                                 << " characters: ASCII letters, digits, space and punctuation):";
  InputForm form(keys);
  form.AddField(kPassphraseField, "Enter passphrase", true, FieldText::kWhole);
  form.ReadFields();
  std::string entered = form.GetValue(kPassphraseField);
  const ScopedWipe entered_wipe(entered);
  if (NoneGiven(form, entered, what)) return ERR_USER_QUIT;
  // Refused, not filtered: a passphrase stored other than as typed would
  // leave the user unable to say what opens the store. The line names the
  // rule, never the entry.
  if (form.TooLong(kPassphraseField) || !FitsPrintableField(entered)) {
    CONSOLE_MESSAGE(kLevelError)
        << "The " << what << " was refused: it may hold at most " << kMaxFieldLength
        << " characters, each an ASCII letter, digit, space or punctuation mark (codes 32 to "
           "126; no accented letters, tabs or other symbols).";
    return ERR_PASSPHRASE;
  }
  if (entered.size() < min_length) {
    CONSOLE_MESSAGE(kLevelError) << "The " << what << " is shorter than " << min_length
                                 << " characters.";
    return ERR_PASSPHRASE;
  }
  // Length alone would let twelve spaces guard a backup.
  if (entered.find_first_not_of(" ") == std::string::npos) {
    CONSOLE_MESSAGE(kLevelError) << "The " << what << " is only spaces.";
    return ERR_PASSPHRASE;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "please confirm again:";
  form.ReadFields();
  std::string again = form.GetValue(kPassphraseField);
  const ScopedWipe again_wipe(again);
  // A confirmation over the limit reads as empty, so it differs too.
  if (!SameSecret(entered, again)) {
    CONSOLE_MESSAGE(kLevelError) << "The two entries of the " << what << " differ.";
    return ERR_PASSPHRASE;
  }
  WipeString(passphrase);
  passphrase.swap(entered);
  return ERR_SUCCEED;
}

bool AskToUpdate(KeySource& keys, const std::string& path) {
  CONSOLE_MESSAGE(kLevelConsole) << "Are you sure you want to continue to update the file "
                                 << path << " (Y/N)?";
  InputForm form(keys);
  form.AddField(kConfirmField, "Enter (Y/N)", false);
  form.ReadFields();
  std::string answer = form.GetValue(kConfirmField);
  // Input that ends before any answer (a script run with no input and no
  // --quiet) is not a yes: nobody agreed to the update.
  if (answer.empty() && form.EndedAtEndOfInput(kConfirmField)) return false;
  const std::locale locale;
  for (char& c : answer) c = std::toupper(c, locale);
  // Enter alone means yes; anything longer than one letter means no.
  return answer.empty() || answer == "Y";
}

bool AskYesNo(KeySource& keys, const std::string& question) {
  CONSOLE_MESSAGE(kLevelConsole) << question << " (y/N)?";
  InputForm form(keys);
  form.AddField(kConfirmField, "Enter (y/N)", false);
  form.ReadFields();
  std::string answer = form.GetValue(kConfirmField);
  // ASCII letters only: the answers are English words whatever the locale.
  for (char& c : answer) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  // Only a deliberate yes agrees: Enter alone, the end of the input (a
  // script with no input and no --quiet) and a typo all leave things as
  // they are.
  return answer == "y" || answer == "yes";
}

bool AskToChangeStore(KeySource& keys, const std::string& path) {
  return AskYesNo(keys, "Are you sure you want to continue to update the file " + path);
}
