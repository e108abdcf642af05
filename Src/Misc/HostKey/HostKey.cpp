#include "Src/Misc/HostKey/HostKey.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/JsonWriter.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/StoreLocation.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "suite/endecrypt/HostKeyAdmin.h"

namespace {

// One store as status and rotate see it: "unattended under this key",
// "under the old key", "attended", or why it cannot be read.
struct StoreState {
  StoreStatus status;
  EncryptionMode mode = kAttendedMode;  // when status is kOk
  std::string key_id;
};

StoreState ReadStoreState(const std::string& path) {
  StoreState state;
  state.status = EnDecryptReadStoreKeyId(path, state.mode, state.key_id);
  return state;
}

bool IsKept(const HostKeyFacts& facts, const std::string& key_id) {
  return std::find(facts.kept_key_ids.begin(), facts.kept_key_ids.end(), key_id) !=
         facts.kept_key_ids.end();
}

bool IsDamaged(const HostKeyFacts& facts, const std::string& key_id) {
  return std::find(facts.damaged_key_ids.begin(), facts.damaged_key_ids.end(), key_id) !=
         facts.damaged_key_ids.end();
}

std::string Describe(const StoreState& state, const HostKeyFacts& facts) {
  if (state.status.IsAbsent()) return "absent";
  if (!state.status.IsOk()) return "unreadable";
  if (state.mode != kUnattendedMode) return "attended";
  if (!facts.key_id.empty() && state.key_id == facts.key_id) return "unattended, this key";
  if (IsDamaged(facts, state.key_id)) {
    return "unattended, kept key " + state.key_id + ", which is damaged: it does not open";
  }
  if (IsKept(facts, state.key_id)) return "unattended, kept key " + state.key_id;
  return "unattended, key " + state.key_id + " not on this host (restore its backup)";
}

// A store that a rotation moves: sealed under any key but the current one.
bool NeedsMove(const StoreState& state, const HostKeyFacts& facts) {
  return state.status.IsOk() && state.mode == kUnattendedMode &&
         state.key_id != facts.key_id;
}

void ExplainBusy(const std::string& key_path) {
  CONSOLE_MESSAGE(kLevelError) << "Another host-key change (rotate, seal, retire or restore) "
                               << "is running; it holds " << key_path
                               << ".lock. Nothing changed; try again when it ends.";
}

}  // namespace

uint32_t HOSTKEY::CheckOptions() {
  if (context.host_list.front() == "retire" && !HostKeyId::IsHex(context.host_list[1])) {
    return RefuseOption("'" + context.host_list[1] + "' is not a key id: 16 lower-case hex " +
                        "digits, as hostkey status shows them");
  }
  return ERR_SUCCEED;
}

uint32_t HOSTKEY::RunCommand() {
  TRACE_ENTERING("HOSTKEY::Run");
  // The steps of the actions in the table of commands.
  using Step = uint32_t (HOSTKEY::*)();
  static const std::pair<const char*, Step> kSteps[] = {
      {"status", &HOSTKEY::ShowStatus},       {"seal", &HOSTKEY::Seal},
      {"rotate", &HOSTKEY::Rotate},           {"retire", &HOSTKEY::Retire},
      {"recipient", &HOSTKEY::ShowRecipient}, {"backup", &HOSTKEY::Backup},
      {"restore", &HOSTKEY::Restore}};
  uint32_t code = ERR_INTERNAL;
  for (const auto& [action, step] : kSteps) {
    if (context.host_list.front() == action) code = (this->*step)();
  }
  TRACE_EXITING("HOSTKEY::Run");
  return code;
}

std::vector<std::string> HOSTKEY::GetStores() const {
  std::vector<std::string> stores;
  for (FileType type = 0; type < kFileTypeCount; ++type) {
    static_cast<void>(LocateStorePlaces(EncryptedPathKeys[type], stores));  // none configured
  }
  for (std::string& path : GetOptionValues("store")) stores.push_back(std::move(path));
  // A store named twice is shown and moved once.
  std::vector<std::string> unique;
  for (std::string& path : stores) {
    if (std::find(unique.begin(), unique.end(), path) == unique.end()) {
      unique.push_back(std::move(path));
    }
  }
  return unique;
}

uint32_t HOSTKEY::ShowStatus() {
  HostKeyFacts facts;
  const StoreStatus status = EnDecryptDescribeHostKey(facts);
  EnDecryptOpenKeptHostKeys(facts);
  const std::vector<std::string> stores = GetStores();
  if (HasOption("json")) {
    std::string text;
    JsonWriter json(&text, JsonWriter::Spacing::kCompact);
    json.BeginObject();
    json.Key("path");
    json.Text(facts.path);
    json.Key("protection");
    json.Text(facts.protection);
    json.Key("key_id");
    json.Text(facts.key_id);
    json.Key("trusted");
    json.Bool(status.IsOk());
    json.Key("problem");
    json.Text(facts.problem);
    json.Key("kept_key_ids");
    json.BeginArray();
    for (const std::string& id : facts.kept_key_ids) json.Text(id);
    json.End();
    json.Key("damaged_key_ids");
    json.BeginArray();
    for (const std::string& id : facts.damaged_key_ids) json.Text(id);
    json.End();
    json.Key("stores");
    json.BeginArray();
    for (const std::string& store : stores) {
      const StoreState state = ReadStoreState(store);
      json.BeginObject();
      json.Key("path");
      json.Text(store);
      json.Key("state");
      json.Text(Describe(state, facts));
      json.Key("key_id");
      json.Text(state.key_id);
      json.End();
    }
    json.End();
    json.End();
    CONSOLE_MESSAGE(kLevelConsole) << text;
  } else {
    CONSOLE_MESSAGE(kLevelConsole) << "host key: " << facts.path;
    if (!facts.protection.empty()) {
      CONSOLE_MESSAGE(kLevelConsole) << "protection: " << facts.protection;
    }
    if (!facts.key_id.empty()) CONSOLE_MESSAGE(kLevelConsole) << "key id: " << facts.key_id;
    CONSOLE_MESSAGE(kLevelConsole) << "usable: "
                                   << (facts.problem.empty() ? "yes" : "no, " + facts.problem);
    for (const std::string& kept : facts.kept_key_ids) {
      CONSOLE_MESSAGE(kLevelConsole)
          << "kept key id: " << kept
          << (IsDamaged(facts, kept)
                  ? " (replaced; DAMAGED: it does not open, nor do the stores sealed under it)"
                  : " (replaced; opens the stores still sealed under it)");
    }
    for (const std::string& store : stores) {
      CONSOLE_MESSAGE(kLevelConsole) << "store " << store << ": "
                                     << Describe(ReadStoreState(store), facts);
    }
  }
  // A kept key that does not open strands its stores: not a host to vouch for.
  if (status.IsOk() && !facts.damaged_key_ids.empty()) {
    return FromStoreStatus(endecrypt_status::kNoCredential);
  }
  return FromStoreStatus(status);
}

uint32_t HOSTKEY::Seal() {
  const std::string protection = GetOption("protection");
  const StoreStatus status = EnDecryptSealHostKeyAs(protection);
  if (status.IsBusy()) {
    HostKeyFacts facts;
    static_cast<void>(EnDecryptDescribeHostKey(facts));
    ExplainBusy(facts.path);
    return FromStoreStatus(status);
  }
  if (!status.IsOk()) {
    CONSOLE_MESSAGE(kLevelError) << "Cannot seal the host key under " << protection
                                 << "; the key file is unchanged (the log says why).";
    return FromStoreStatus(status);
  }
  CONSOLE_MESSAGE(kLevelConsole) << "The host key now rests under " << protection
                                 << "; it is the same key, so no store changes.";
  return ERR_SUCCEED;
}

// The replaced key stays in the ring, so a store this run does not move
// (not named, or a write that fails) still opens; it moves with its next
// write, and the key goes only when retired.
uint32_t HOSTKEY::Rotate() {
  HostKeyFacts facts;
  StoreStatus status = EnDecryptDescribeHostKey(facts);
  EnDecryptOpenKeptHostKeys(facts);  // the stores listed below say which key they need
  if (!status.IsOk()) {
    CONSOLE_MESSAGE(kLevelError) << "Cannot rotate the host key " << facts.path << ": "
                                 << facts.problem << ". Nothing changed.";
    return FromStoreStatus(status);
  }
  const std::vector<std::string> stores = GetStores();
  const std::string protection = GetOption("protection");
  CONSOLE_MESSAGE(kLevelConsole) << "hostkey rotate makes a new host key under "
                                 << (protection.empty() ? facts.protection : protection)
                                 << " and keeps the current key " << facts.key_id
                                 << " beside it; these stores move to the new key:";
  std::size_t moving = 0;
  for (const std::string& store : stores) {
    const StoreState state = ReadStoreState(store);
    // After the new key is made, every unattended store is under an older one.
    const bool moves = state.status.IsOk() && state.mode == kUnattendedMode;
    moving += moves ? 1 : 0;
    CONSOLE_MESSAGE(kLevelConsole) << "  " << store << ": " << Describe(state, facts)
                                   << (moves ? "" : ", stays as it is");
  }
  if (moving == 0) CONSOLE_MESSAGE(kLevelConsole) << "  (none)";
  if (!HasOption("quiet") &&
      !AskYesNo(env.GetKeys(), "Make the new host key and move these stores")) {
    CONSOLE_MESSAGE(kLevelConsole) << "Nothing changed.";
    return ERR_INTERRUPTED;
  }
  std::string kept_id;
  std::string used;
  status = EnDecryptRotateHostKey(protection, kept_id, used);
  if (status.IsBusy()) {
    ExplainBusy(facts.path);
    return FromStoreStatus(status);
  }
  if (!status.IsOk()) {
    CONSOLE_MESSAGE(kLevelError) << "Cannot make a new host key; nothing changed "
                                 << "(the log says why).";
    return FromStoreStatus(status);
  }
  HostKeyFacts now;
  if (!(status = EnDecryptDescribeHostKey(now)).IsOk()) {
    return FromStoreStatus(status);
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Made the new host key " << now.key_id << ", resting under "
                                 << used << "; the key " << kept_id << " is kept.";
  uint32_t failure = ERR_SUCCEED;
  for (const std::string& store : stores) {
    const StoreState state = ReadStoreState(store);
    if (!NeedsMove(state, now)) continue;
    // Under the store's writers' lock, like rekey: a concurrent update
    // lands before or after, never lost.
    status = EnDecrypt::GetInstance()->Rekey(store, "", "");
    if (!status.IsOk()) {
      CONSOLE_MESSAGE(kLevelError) << "store " << store << ": cannot be moved to the new key; "
                                   << "its key stays kept (the log says why).";
      KLOG(kLevelError) << "Rekey file " << store << " error: " << status << ".";
      failure = FromStoreStatus(status);
      continue;
    }
    CONSOLE_MESSAGE(kLevelConsole) << "store " << store << ": moved to the new key";
  }
  CONSOLE_MESSAGE(kLevelConsole)
      << "Replaced keys stay kept, so stores not named above still open and move to the new "
         "key when next written. Once none needs the key " << kept_id
      << ", remove it with: kelvox hostkey retire " << kept_id;
  return failure;
}

uint32_t HOSTKEY::Retire() {
  const std::string key_id = context.host_list[1];
  HostKeyFacts facts;
  static_cast<void>(EnDecryptDescribeHostKey(facts));
  if (key_id == facts.key_id) {
    CONSOLE_MESSAGE(kLevelError) << "The key " << key_id << " is the current host key; "
                                 << "rotate first, then retire it.";
    return ERR_INVALID_PARAMETER;
  }
  if (!IsKept(facts, key_id)) {
    CONSOLE_MESSAGE(kLevelError) << "No kept key " << key_id << " beside " << facts.path
                                 << "; hostkey status lists the kept keys.";
    return FromStoreStatus(endecrypt_status::kRecordAbsent);
  }
  const std::vector<std::string> stores = GetStores();
  if (!HasOption("quiet") &&
      !AskYesNo(env.GetKeys(),
                "Remove the kept host key " + key_id +
                    " for good? Stores sealed under it that "
                    "are neither configured nor named with --store will no longer open")) {
    CONSOLE_MESSAGE(kLevelConsole) << "Nothing changed.";
    return ERR_INTERRUPTED;
  }
  std::string needed_by;
  const StoreStatus status = EnDecryptRetireHostKey(key_id, stores, needed_by);
  if (status.IsOk()) {
    CONSOLE_MESSAGE(kLevelConsole) << "Removed the kept host key " << key_id << ".";
    return ERR_SUCCEED;
  }
  if (status.IsBusy()) {
    ExplainBusy(facts.path);
  } else if (status.IsKeyInUse()) {
    CONSOLE_MESSAGE(kLevelError) << "The store " << needed_by << " is still sealed under the key "
                                 << key_id << "; move it first (hostkey rotate --store "
                                 << needed_by << ", or any write). Nothing removed.";
  } else if (status.IsUnreadable()) {
    CONSOLE_MESSAGE(kLevelError) << "Cannot read the store " << needed_by
                                 << " to tell which key it needs. Nothing removed.";
  } else {
    CONSOLE_MESSAGE(kLevelError) << "Cannot remove the kept key " << key_id
                                 << " (the log says why).";
  }
  return FromStoreStatus(status);
}

// The recipient age files for this host are encrypted to; it changes
// with every rotation, and files for an older key import while it is kept.
uint32_t HOSTKEY::ShowRecipient() {
  std::string recipient;
  const StoreStatus status = EnDecryptGetHostRecipient(recipient);
  if (!status.IsOk()) {
    HostKeyFacts facts;
    static_cast<void>(EnDecryptDescribeHostKey(facts));
    CONSOLE_MESSAGE(kLevelError) << "No recipient: the host key " << facts.path
                                 << " cannot be used"
                                 << (facts.problem.empty() ? "" : ": " + facts.problem) << ".";
    return FromStoreStatus(status);
  }
  if (HasOption("json")) {
    HostKeyFacts facts;
    static_cast<void>(EnDecryptDescribeHostKey(facts));
    std::string text;
    JsonWriter json(&text, JsonWriter::Spacing::kCompact);
    json.BeginObject();
    json.Key("recipient");
    json.Text(recipient);
    json.Key("key_id");
    json.Text(facts.key_id);
    json.End();
    CONSOLE_MESSAGE(kLevelConsole) << text;
  } else {
    CONSOLE_MESSAGE(kLevelConsole) << recipient;
  }
  return ERR_SUCCEED;
}

uint32_t HOSTKEY::Backup() {
  const std::string output = GetOption("output");
  if (EntryExists(output)) {
    CONSOLE_MESSAGE(kLevelError) << "The backup file " << output << " exists; it is left alone.";
    return ERR_WRITE_FILE;
  }
  // Held for one run, wiped however it ends.
  std::string passphrase;
  const ScopedWipe passphrase_wipe(passphrase);
  // The prompt says why it refused an entry.
  uint32_t code = AskNewPassphrase(env.GetKeys(), output, kMinBackupPassphraseLength, passphrase);
  if (code != ERR_SUCCEED) return code;
  const StoreStatus status = EnDecryptBackupHostKey(output, passphrase);
  if (!status.IsOk()) {
    CONSOLE_MESSAGE(kLevelError) << "Cannot write the backup " << output
                                 << " (the log says why).";
    return FromStoreStatus(status);
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Wrote the host key backup " << output
                                 << "; keep it and its passphrase apart, off this host.";
  return ERR_SUCCEED;
}

uint32_t HOSTKEY::Restore() {
  const std::string input = GetOption("input");
  HostKeyFacts facts;
  static_cast<void>(EnDecryptDescribeHostKey(facts));
  // Refused before the passphrase is asked, usable or not: a key file that
  // no longer opens here may still open elsewhere, and --force keeps it.
  if (!facts.path.empty() && EntryExists(facts.path) && !HasOption("force")) {
    CONSOLE_MESSAGE(kLevelError) << "The host key " << facts.path
                                 << " exists; give --force to replace it.";
    return ERR_WRITE_FILE;
  }
  if (facts.untrusted) {
    CONSOLE_MESSAGE(kLevelError) << "The host key " << facts.path << " is " << facts.problem
                                 << "; nothing is written there. Nothing was changed.";
    return FromStoreStatus(endecrypt_status::kNoCredential);
  }
  if (!EntryExists(input)) {
    CONSOLE_MESSAGE(kLevelError) << "The backup file " << input << " does not exist.";
    return ERR_FILE_NOT_EXIST;
  }
  // Replacing the key is never silent: the replaced key is kept, but a
  // store under it then opens only while it stays kept.
  if (!facts.path.empty() && EntryExists(facts.path) && !HasOption("quiet") &&
      !AskYesNo(env.GetKeys(),
                "Replace the host key " + facts.path +
                    (facts.key_id.empty() ? std::string() : " (key " + facts.key_id + ")") +
                    " by the key in " + input + ", keeping the current one beside it")) {
    CONSOLE_MESSAGE(kLevelConsole) << "Nothing changed.";
    return ERR_INTERRUPTED;
  }
  // Held for one run, wiped however it ends.
  std::string passphrase;
  const ScopedWipe passphrase_wipe(passphrase);
  const uint32_t code =
      AskExistingPassphrase(env.GetKeys(), input, kMinBackupPassphraseLength, passphrase);
  if (code == ERR_PASSPHRASE) {
    // The prompt refused the entry as too short: no backup opens with it.
    CONSOLE_MESSAGE(kLevelError) << "Cannot restore from " << input
                                 << ": wrong passphrase; the host key is untouched.";
  }
  if (code != ERR_SUCCEED) return code;
  std::string kept_id;
  const StoreStatus status = EnDecryptRestoreHostKey(input, passphrase, GetOption("protection"),
                                                     HasOption("force"), kept_id);
  if (status.IsBusy()) {
    ExplainBusy(facts.path);
    return FromStoreStatus(status);
  }
  if (!status.IsOk()) {
    const uint32_t refused = FromStoreStatus(status);
    CONSOLE_MESSAGE(kLevelError)
        << "Cannot restore from " << input << ": "
        << (refused == ERR_PASSPHRASE                ? "wrong passphrase"
            : refused == ERR_ENCRYPTED_FILE_INVALID ? "not an intact backup"
            : refused == ERR_NO_MATCHING_CREDENTIAL
                ? "the key's file or folder is not trusted (a link, another owner, or open to "
                  "others), or the key cannot be sealed; the log says which"
                : "the log says why")
        << "; the host key is untouched.";
    return refused;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Restored the host key " << facts.path << " from " << input
                                 << ".";
  if (!kept_id.empty()) {
    CONSOLE_MESSAGE(kLevelConsole) << "The key it replaced is kept as " << kept_id
                                   << "; its stores still open.";
  }
  HostKeyFacts now;
  static_cast<void>(EnDecryptDescribeHostKey(now));
  for (const std::string& store : GetStores()) {
    const StoreState state = ReadStoreState(store);
    if (NeedsMove(state, now) && !IsKept(now, state.key_id)) {
      CONSOLE_MESSAGE(kLevelError) << "store " << store << ": " << Describe(state, now);
    }
  }
  return ERR_SUCCEED;
}
