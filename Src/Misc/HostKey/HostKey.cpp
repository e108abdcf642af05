#include "Src/Misc/HostKey/HostKey.h"

#include <cstddef>
#include <sstream>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/StoreLocation.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/StoreStatus.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "suite/endecrypt/HostKeyAdmin.h"
#include "suite/platform/Process.h"

namespace {

// Longer than a store's minimum: a backup may be attacked offline, away
// from this host, for as long as the key is in use.
constexpr std::size_t kMinBackupPassphraseLength = 12;
constexpr int kUnattended = 1;
constexpr std::size_t kConfiguredStoreCount = 2;

// The options each action takes, and the one it cannot do without.
struct ActionOptions {
  const char* action;
  std::vector<std::string> allowed;
  const char* required;
};
const ActionOptions kActionOptions[] = {
    {"status", {"store", "json"}, nullptr},
    {"seal", {"protection"}, "protection"},
    {"rotate", {"store"}, nullptr},
    {"backup", {"output"}, "output"},
    {"restore", {"input", "protection", "force"}, "input"},
};

uint32_t Refuse(const std::string& message) {
  CONSOLE_MESSAGE(kLevelError) << message;
  return ERR_INVALID_PARAMETER;
}

std::string JsonString(const std::string& text) {
  std::ostringstream out;
  out << '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out << '\\' << c;
    } else if (byte < 0x20) {
      constexpr char kHex[] = "0123456789abcdef";
      out << "\\u00" << kHex[byte >> 4] << kHex[byte & 0xf];
    } else {
      out << c;
    }
  }
  out << '"';
  return out.str();
}

// One store as status and rotate see it: "unattended under this key",
// "under the old key", "attended", or why it cannot be read.
struct StoreState {
  int status = 0;
  int mode = 0;
  std::string key_id;
};

StoreState ReadStoreState(const std::string& path) {
  StoreState state;
  state.status = EnDecryptReadStoreKeyId(path, state.mode, state.key_id);
  return state;
}

std::string Describe(const StoreState& state, const HostKeyFacts& facts) {
  if (state.status == endecrypt_status::kNotExist) return "absent";
  if (state.status != endecrypt_status::kOk) return "unreadable";
  if (state.mode != kUnattended) return "attended";
  if (!facts.key_id.empty() && state.key_id == facts.key_id) return "unattended, this key";
  if (!facts.old_key_id.empty() && state.key_id == facts.old_key_id) {
    return "unattended, the old key (rotation unfinished)";
  }
  return "unattended, another key";
}

}  // namespace

CommandResult HOSTKEY::SetParameters(const HostContext& host_context) {
  context = host_context;
  CommandResult result;
  uint32_t code = ERR_SUCCEED;
  const ActionOptions* found = nullptr;
  if (context.host_list.size() == 1) {
    for (const ActionOptions& entry : kActionOptions) {
      if (context.host_list.front() == entry.action) found = &entry;
    }
  }
  if (found == nullptr) {
    code = Refuse("Give one action: status, seal, rotate, backup or restore");
  } else {
    action = found->action;
    for (const auto& [name, value] : context.options) {
      bool allowed = false;
      for (const std::string& option : found->allowed) allowed = allowed || option == name;
      if (!allowed) code = Refuse("--" + name + " does not apply to hostkey " + action);
    }
    if (code == ERR_SUCCEED && found->required != nullptr &&
        GetOption(found->required).empty()) {
      code = Refuse("hostkey " + action + " needs --" + found->required);
    }
    const std::string protection = GetOption("protection");
    if (code == ERR_SUCCEED && HasOption("protection") && protection != "file" &&
        protection != "tpm2" && protection != "dpapi") {
      code = Refuse("--protection takes file, tpm2 or dpapi");
    }
  }
  return MakeCommandResult(result, code);
}

CommandResult HOSTKEY::Run() {
  TRACE_ENTERING("HOSTKEY::Run");
  // A run may hold the host key unsealed and a backup passphrase.
  platform::DisableCoreDumps();
  uint32_t code = ERR_SUCCEED;
  if (action == "status") code = ShowStatus();
  if (action == "seal") code = Seal();
  if (action == "rotate") code = Rotate();
  if (action == "backup") code = Backup();
  if (action == "restore") code = Restore();
  CommandResult result;
  TRACE_EXITING("HOSTKEY::Run");
  return MakeCommandResult(result, code);
}

bool HOSTKEY::HasOption(const std::string& name) const {
  return context.options.count(name) != 0;
}

std::string HOSTKEY::GetOption(const std::string& name) const {
  const auto found = context.options.find(name);
  return found == context.options.end() ? std::string() : found->second;
}

std::vector<std::string> HOSTKEY::GetStores() const {
  std::vector<std::string> stores;
  for (std::size_t type = 0; type < kConfiguredStoreCount; ++type) {
    std::string path;
    if (LocateStore(EncryptedPathKeys[type], path) == ERR_SUCCEED) stores.push_back(path);
  }
  if (HasOption("store")) {
    std::istringstream given(GetOption("store"));
    for (std::string path; std::getline(given, path, '\0');) stores.push_back(path);
  }
  return stores;
}

uint32_t HOSTKEY::ShowStatus() {
  HostKeyFacts facts;
  const int status = EnDecryptDescribeHostKey(facts);
  const std::vector<std::string> stores = GetStores();
  if (HasOption("json")) {
    std::ostringstream json;
    json << "{\"path\":" << JsonString(facts.path)
         << ",\"protection\":" << JsonString(facts.protection)
         << ",\"key_id\":" << JsonString(facts.key_id)
         << ",\"trusted\":" << (status == endecrypt_status::kOk ? "true" : "false")
         << ",\"problem\":" << JsonString(facts.problem)
         << ",\"old_key_id\":" << JsonString(facts.old_key_id) << ",\"stores\":[";
    for (std::size_t i = 0; i < stores.size(); ++i) {
      json << (i == 0 ? "" : ",") << "{\"path\":" << JsonString(stores[i])
           << ",\"state\":" << JsonString(Describe(ReadStoreState(stores[i]), facts)) << "}";
    }
    CONSOLE_MESSAGE(kLevelConsole) << json.str() << "]}";
  } else {
    CONSOLE_MESSAGE(kLevelConsole) << "host key: " << facts.path;
    if (!facts.protection.empty()) {
      CONSOLE_MESSAGE(kLevelConsole) << "protection: " << facts.protection;
    }
    if (!facts.key_id.empty()) CONSOLE_MESSAGE(kLevelConsole) << "key id: " << facts.key_id;
    CONSOLE_MESSAGE(kLevelConsole) << "usable: "
                                   << (facts.problem.empty() ? "yes" : "no, " + facts.problem);
    if (!facts.old_key_id.empty()) {
      CONSOLE_MESSAGE(kLevelConsole) << "old key id: " << facts.old_key_id
                                     << " (a rotation is unfinished; run hostkey rotate)";
    }
    for (const std::string& store : stores) {
      CONSOLE_MESSAGE(kLevelConsole) << "store " << store << ": "
                                     << Describe(ReadStoreState(store), facts);
    }
  }
  return MapStoreStatus(status);
}

uint32_t HOSTKEY::Seal() {
  const std::string protection = GetOption("protection");
  const int status = EnDecryptSealHostKeyAs(protection);
  if (status != endecrypt_status::kOk) {
    CONSOLE_MESSAGE(kLevelError) << "Cannot seal the host key under " << protection
                                 << "; the key file is unchanged (the log says why).";
    return MapStoreStatus(status);
  }
  CONSOLE_MESSAGE(kLevelConsole) << "The host key now rests under " << protection
                                 << "; it is the same key, so no store changes.";
  return ERR_SUCCEED;
}

// Every named store is moved before the old key goes; a failure keeps the
// old key, so the stores not yet moved still open and a second run finishes.
uint32_t HOSTKEY::Rotate() {
  bool resumed = false;
  int status = EnDecryptBeginHostKeyRotation(resumed);
  if (status != endecrypt_status::kOk) {
    CONSOLE_MESSAGE(kLevelError) << "Cannot make a new host key; nothing changed "
                                 << "(the log says why).";
    return MapStoreStatus(status);
  }
  CONSOLE_MESSAGE(kLevelConsole) << (resumed ? "Finishing the unfinished rotation."
                                             : "Made a new host key; the old one is kept "
                                               "until every store below is moved.");
  HostKeyFacts facts;
  if ((status = EnDecryptDescribeHostKey(facts)) != endecrypt_status::kOk) {
    return MapStoreStatus(status);
  }
  uint32_t failure = ERR_SUCCEED;
  for (const std::string& store : GetStores()) {
    const StoreState state = ReadStoreState(store);
    if (state.status != endecrypt_status::kOk || state.mode != kUnattended ||
        state.key_id == facts.key_id) {
      CONSOLE_MESSAGE(kLevelConsole) << "store " << store << ": " << Describe(state, facts)
                                     << ", nothing to move";
      continue;
    }
    // Under the store's writers' lock, like rekey: a concurrent update
    // lands before or after, never lost.
    status = EnDecrypt::GetInstance()->Rekey(store, "", "");
    if (status != endecrypt_status::kOk) {
      CONSOLE_MESSAGE(kLevelError) << "store " << store << ": cannot be moved to the new key; "
                                   << "the old key is kept (the log says why).";
      KLOG(kLevelError) << "Rekey file " << store << " error: " << status << ".";
      failure = MapStoreStatus(status);
      continue;
    }
    CONSOLE_MESSAGE(kLevelConsole) << "store " << store << ": moved to the new key";
  }
  if (failure != ERR_SUCCEED) return failure;
  if ((status = EnDecryptEndHostKeyRotation()) != endecrypt_status::kOk) {
    CONSOLE_MESSAGE(kLevelError) << "Cannot remove the old host key " << facts.path << ".old.";
    return MapStoreStatus(status);
  }
  CONSOLE_MESSAGE(kLevelConsole)
      << "Rotation done; the old key is removed. Unattended stores not named above "
         "(configured or --store) stay sealed under it and no longer open.";
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
  uint32_t code = AskPassphrase(output, true, kMinBackupPassphraseLength, passphrase);
  if (code != ERR_SUCCEED) {
    CONSOLE_MESSAGE(kLevelError) << "The passphrase is shorter than 12 characters or the two "
                                 << "entries differ.";
    return code;
  }
  const int status = EnDecryptBackupHostKey(output, passphrase);
  if (status != endecrypt_status::kOk) {
    CONSOLE_MESSAGE(kLevelError) << "Cannot write the backup " << output
                                 << " (the log says why).";
    return MapStoreStatus(status);
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Wrote the host key backup " << output
                                 << "; keep it and its passphrase apart, off this host.";
  return ERR_SUCCEED;
}

uint32_t HOSTKEY::Restore() {
  const std::string input = GetOption("input");
  HostKeyFacts facts;
  if (EnDecryptDescribeHostKey(facts) == endecrypt_status::kOk && !HasOption("force")) {
    CONSOLE_MESSAGE(kLevelError) << "The host key " << facts.path
                                 << " exists; give --force to replace it.";
    return ERR_WRITE_FILE;
  }
  if (!EntryExists(input)) {
    CONSOLE_MESSAGE(kLevelError) << "The backup file " << input << " does not exist.";
    return ERR_FILE_NOT_EXIST;
  }
  // Held for one run, wiped however it ends.
  std::string passphrase;
  const ScopedWipe passphrase_wipe(passphrase);
  uint32_t code = AskPassphrase(input, false, kMinBackupPassphraseLength, passphrase);
  const int status = code == ERR_SUCCEED
                         ? EnDecryptRestoreHostKey(input, passphrase,
                                                   GetOption("protection"), HasOption("force"))
                         : endecrypt_status::kWrongPassphrase;
  if (status != endecrypt_status::kOk) {
    CONSOLE_MESSAGE(kLevelError)
        << "Cannot restore from " << input << ": "
        << (status == endecrypt_status::kWrongPassphrase ? "wrong passphrase"
            : status == endecrypt_status::kInvalidFile   ? "not an intact backup"
                                                         : "the log says why")
        << "; the host key is untouched.";
    return code != ERR_SUCCEED ? code : MapStoreStatus(status);
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Restored the host key " << facts.path << " from " << input
                                 << ".";
  return ERR_SUCCEED;
}
