#include "Src/Misc/Common/StoreCommand.h"

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/InputBytes.h"
#include "Src/Misc/Common/KeyText.h"
#include "Src/Misc/Common/OpenStore.h"
#include "Src/Misc/Common/PlainText.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/StoreLocation.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/StoreStatus.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "host/GlobalConfig.h"
#include "suite/endecrypt/HostKeyAdmin.h"
#include "suite/platform/Files.h"
#include "suite/platform/SystemPlaces.h"
#include "suite/platform/Utf8Path.h"
#include "suite/usage/Commands.h"

namespace {

constexpr char kHostKeyPathSetting[] = "ENCRYPT_HOST_KEY_PATH";
// The most bytes a passphrase file may hold.
constexpr std::size_t kMaxPassphraseFileSize = 4096;

// Why the configuration gave no value for a key, in words for the console.
const char* DescribeConfigResult(int result) {
  switch (result) {
    case ZUdurov::GlobalConfig::kNoFile: return "no configuration file was found";
    case ZUdurov::GlobalConfig::kUnreadable: return "the configuration file cannot be read";
    case ZUdurov::GlobalConfig::kMalformed: return "the configuration file is not KEY=VALUE lines";
    case ZUdurov::GlobalConfig::kNamedFileMissing:
      return "the file KELVOX_GLOBAL_CONFIG names does not exist";
    default: return "the configuration does not name it";
  }
}

// Says that this user may not read `what` at `path`, rather than calling it
// missing or damaged, with the way out when the configuration in use is
// not one the user chose.
uint32_t ExplainDenied(const char* what, const std::string& path) {
  KLOG(kLevelError) << "Access to " << path << " denied.";
  CONSOLE_MESSAGE(kLevelError)
      << "Permission denied: you may not read the " << what << " " << path
      << (platform::GetEnvironment("KELVOX_GLOBAL_CONFIG").empty()
              ? "; run as its owner, or point KELVOX_GLOBAL_CONFIG at a configuration of your "
                "own that names stores and a host key in folders of yours"
              : "")
      << ".";
  return ERR_READ_FILE;
}

// Names the host key an unattended store needs and why it is not there.
void ExplainMissingHostKey(const StoreCause& cause) {
  std::string key_path = cause.path;
  if (cause.kind != StoreCause::Kind::kHostKey &&
      ZUdurov::GlobalConfig::GetConfigItem(kHostKeyPathSetting, key_path) !=
          ZUdurov::GlobalConfig::kOk) {
    key_path = platform::DefaultHostKeyPath();
  }
  if (platform::IsAccessDenied(key_path)) {
    static_cast<void>(ExplainDenied("host key", key_path));
    return;
  }
  HostKeyFacts facts;
  if (!EnDecryptDescribeHostKey(facts).IsOk() && !facts.protection.empty() &&
      facts.protection != "file") {
    // A sealed key that did not unseal: the sealer is the cause, not the file.
    CONSOLE_MESSAGE(kLevelError) << "The host key " << facts.path << " cannot be used: "
                                 << facts.problem << ".";
    return;
  }
  CONSOLE_MESSAGE(kLevelError)
      << "The host key " << key_path << " cannot open the store: "
      << (EntryExists(key_path) ? "it must be a file of your own that no one else may read or "
                                  "write, in a folder only you can write to, and the key that "
                                  "sealed the store (the log says which check failed)"
                                : "it does not exist")
      << ".";
}

// An unattended store that the host key did not open: when the key it is
// sealed under is neither this host's key nor one it keeps (the library's
// cause says so), says so, with the way back, and returns the missing-key
// code; otherwise the refusal stays a wrong key (damaged key material). No
// passphrase is involved.
uint32_t ExplainUnheldHostKey(const std::string& path, const StoreCause& cause) {
  if (cause.kind != StoreCause::Kind::kHostKeyNotHeld) return ERR_PASSPHRASE;
  const std::string& key_id = cause.key_id;
  HostKeyFacts facts;
  static_cast<void>(EnDecryptDescribeHostKey(facts));
  KLOG(kLevelError) << "Store " << path << " is sealed under host key " << key_id
                    << ", which is not held.";
  CONSOLE_MESSAGE(kLevelError)
      << "The store " << path << " is sealed under the host key " << key_id
      << ", which this host does not hold (its key is "
      << (facts.key_id.empty() ? "missing" : facts.key_id) << "). Restore that key from its "
      << "backup: kelvox hostkey restore --input BACKUP --force (the current key is kept).";
  return ERR_NO_MATCHING_CREDENTIAL;
}

}  // namespace

StoreCommand::~StoreCommand() { WipeString(passphrase); }

std::vector<std::string> KeysOf(const StoreCommand::RecordMap& records) {
  std::vector<std::string> keys;
  keys.reserve(records.size());
  for (const auto& record : records) keys.push_back(record.first);
  return keys;
}

bool IsCredentialKey(const std::string& key) {
  std::string target;
  return SplitCredentialKey(key, target);
}

CommandResult StoreCommand::SetParameters(const HostContext& host_context) {
  // Read before the table is checked, and of no use when it refuses.
  const auto given = host_context.options.find("type");
  if (given == host_context.options.end() || !ParseFileType(given->second, type)) type = kNoType;
  const auto store = host_context.options.find("store");
  path = type == kNoType && store != host_context.options.end() ? store->second : std::string();
  return CommandFrame::SetParameters(host_context);
}

uint32_t StoreCommand::RunCommand() {
  // While this run writes data to standard output, its console lines go to
  // standard error; a command run after it in the same process starts as
  // every command does.
  const bool data_out = WritesDataToStandardOutput();
  if (data_out) SetConsoleToStandardError(true);
  const uint32_t code = OpenProc();
  if (data_out) SetConsoleToStandardError(false);
  return code;
}

std::optional<EncryptionMode> StoreCommand::ExpectedMode() const {
  if (HasOption("unattended")) return kUnattendedMode;
  return std::nullopt;
}

uint32_t StoreCommand::FromStoreStatus(const StoreStatus& status) const {
  if (!status.IsOk()) store_cause = status.GetCause();
  return CommandFrame::FromStoreStatus(status);
}

uint32_t StoreCommand::FromReadStatus(const StoreStatus& status) const {
  const uint32_t code = FromStoreStatus(status);
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Parse the file " << path << " fail.";
  }
  return code;
}

uint32_t StoreCommand::ReadStoredRecords(EnDecrypt& store, RecordMap& records) const {
  return FromReadStatus(store.Decrypt(path, records, passphrase));
}

bool StoreCommand::IsCredentialStore(const std::vector<std::string>& keys) const {
  return FormOfStore(type, keys) == PlainForm::kCredentials;
}

bool StoreCommand::IsCredentialStore(const RecordMap& records) const {
  return FormOfStore(type, records) == PlainForm::kCredentials;
}

uint32_t StoreCommand::FormatPlainText(const RecordMap& records, std::string& text,
                                       bool& credentials) const {
  const PlainForm form = FormOfStore(type, records);
  std::string key;
  const FormatFault fault = FormatPlainForm(records, form, text, key);
  credentials = form == PlainForm::kCredentials;
  if (fault == FormatFault::kNone) return ERR_SUCCEED;
  // A key is a name, not a secret: it may be shown.
  std::string shown;
  AppendShownText(key, shown);
  if (fault == FormatFault::kMisfit) {
    KLOG(kLevelError) << "Record '" << shown << "' of " << path << " fits no credential target.";
    CONSOLE_MESSAGE(kLevelError) << "The record " << shown
                                 << " is not the user or password of a credential target.";
  } else {
    KLOG(kLevelError) << "Record '" << shown << "' of " << path << " is not text.";
    CONSOLE_MESSAGE(kLevelError) << "The record " << shown
                                 << " holds bytes that are not UTF-8 text, which no plaintext "
                                    "file can carry back to the store.";
  }
  return ERR_ENCRYPTED_FILE_INVALID;
}

uint32_t StoreCommand::FormatPlainText(const RecordMap& records, std::string& text) const {
  bool credentials = false;
  const uint32_t code = FormatPlainText(records, text, credentials);
  if (code == ERR_SUCCEED &&
      !EncryptTakesBack(records, credentials ? PlainForm::kCredentials : PlainForm::kSettings)) {
    // The text is still the store's, but the readers would decline it.
    CONSOLE_MESSAGE(kLevelError) << "The store " << path << " holds no credential; encrypt and "
                                    "import take no text whose credential list is empty.";
  }
  return code;
}

uint32_t StoreCommand::OpenProc() {
  TRACE_ENTERING("StoreCommand::OpenProc");
  // A configuration that is there but unusable stops every store command
  // before anything is made: its defaults would put keys and folders where
  // nobody meant them. (No configuration at all is a set-up that names
  // everything on the command line.)
  std::string probe;
  const int config = ZUdurov::GlobalConfig::GetConfigItem(kHostKeyPathSetting, probe);
  if (config == ZUdurov::GlobalConfig::kUnreadable ||
      config == ZUdurov::GlobalConfig::kMalformed ||
      config == ZUdurov::GlobalConfig::kNamedFileMissing) {
    CONSOLE_MESSAGE(kLevelError) << "No usable configuration: " << DescribeConfigResult(config)
                                 << ". Nothing was done.";
    return ERR_READ_FILE;
  }
  if (type != kNoType) {
    const uint32_t located = LocateStore(EncryptedPathKeys[type], path);
    if (located != ERR_SUCCEED) {
      KLOG(kLevelError) << "Get value: " << EncryptedPathKeys[type] << " error: " << located << ".";
      std::string unused;
      CONSOLE_MESSAGE(kLevelError) << "No path for the " << kStoreTypeNames[type] << " store: "
                                   << DescribeConfigResult(ZUdurov::GlobalConfig::GetConfigItem(
                                          EncryptedPathKeys[type], unused))
                                   << " (" << EncryptedPathKeys[type] << "); or give --store PATH.";
      return ERR_READ_FILE;
    }
  }
  audit_act.store = path;
  EnDecrypt* store = env.GetStore();
  if (store == nullptr) {
    KLOG(kLevelError) << "Get EnDecrypt instance error.";
    return ERR_INTERNAL;
  }
  // The store library's one answer about the store: nothing there is a new
  // store for a command that makes one, and a missing one for the others.
  const StoreFound found = FindStore(*store, path);
  // A store the running user may not read is said to be one, whatever the
  // library could make of it.
  if (!found.status.IsOk() && platform::IsAccessDenied(path)) return ExplainDenied("store", path);
  store_is_new = MayCreateStore() && found.IsAbsent();
  if (store_is_new) {
    // A new store takes the run's mode; attended unless --unattended.
    store_mode = ExpectedMode().value_or(kAttendedMode);
    uint32_t code = CheckBeforePrompt(*store_mode);
    if (code == ERR_SUCCEED && store_mode == kAttendedMode) code = ObtainPassphrase(true, passphrase);
    if (code != ERR_SUCCEED) return code;
    return RunOnStore(*store);
  }
  // The checks that need the store's mode come before any prompt; for an
  // unattended store nothing is asked, so they run once it is open.
  const uint32_t code = OpenExistingStore(
      found, path, ExpectedMode(),
      [this](const StoreStatus& status) { return FromStoreStatus(status); },
      [this](std::string& typed) {
        const uint32_t refused = CheckBeforePrompt(kAttendedMode);
        if (finished) return ERR_INTERRUPTED;  // no passphrase is needed for nothing
        return refused != ERR_SUCCEED ? refused : ObtainPassphrase(false, typed);
      },
      passphrase, &store_mode);
  if (finished) return ERR_SUCCEED;
  if (code == ERR_MODE_CONFLICT && store_mode) {
    CONSOLE_MESSAGE(kLevelError) << "The store " << path << " is "
                                 << (store_mode == kAttendedMode
                                         ? "attended (sealed with a passphrase)"
                                         : "unattended (sealed with this host's key)")
                                 << "; " << (HasOption("unattended") ? "drop" : "give")
                                 << " --unattended.";
  }
  if (code == ERR_FILE_NOT_EXIST) CONSOLE_MESSAGE(kLevelError) << "No store at " << path << ".";
  if (code == ERR_NO_MATCHING_CREDENTIAL) ExplainMissingHostKey(store_cause);
  if (code == ERR_PASSPHRASE && store_mode == kUnattendedMode) {
    return ExplainUnheldHostKey(path, store_cause);
  }
  if (code != ERR_SUCCEED) return code;
  if (store_mode == kUnattendedMode) {
    if (const uint32_t refused = CheckBeforePrompt(*store_mode); refused != ERR_SUCCEED) {
      return refused;
    }
    if (finished) return ERR_SUCCEED;
  }
  if (store_mode == kUnattendedMode) {
    // The audit line names the host key the store is sealed under.
    EncryptionMode mode = kUnattendedMode;
    static_cast<void>(EnDecryptReadStoreKeyId(path, mode, audit_act.key_id));
  }
  const uint32_t ran = RunOnStore(*store);
  // The host key is read when the store is opened, not before.
  if (ran == ERR_NO_MATCHING_CREDENTIAL) ExplainMissingHostKey(store_cause);
  if (ran == ERR_PASSPHRASE && store_mode == kUnattendedMode) {
    return ExplainUnheldHostKey(path, store_cause);
  }
  TRACE_EXITING("StoreCommand::OpenProc");
  return ran;
}

uint32_t StoreCommand::ObtainPassphrase(bool new_store, std::string& entered) const {
  if (!HasOption("passphrase-file")) {
    // An existing store is opened as encrypt reads its passphrase; a new
    // one's is refused unless that reading would give it back unchanged.
    return new_store ? AskNewPassphrase(env.GetKeys(), path, kMinPassphraseLength, entered,
                                        PassphraseName())
                     : AskExistingPassphrase(env.GetKeys(), path, kMinPassphraseLength, entered,
                                             PassphraseName());
  }
  const std::string file = GetOption("passphrase-file");
  std::vector<unsigned char> bytes;
  const ScopedWipe wipe_bytes(bytes);
  // The file guards a passphrase as the host-key file guards the key: it
  // must be the user's own, readable by no one else.
  std::string reason;
  if (!ReadOwnerOnlyFile(file, kMaxPassphraseFileSize, bytes, reason)) {
    KLOG(kLevelError) << "Read passphrase file " << file << " error.";
    CONSOLE_MESSAGE(kLevelError) << "The passphrase file " << file << " cannot be used: " << reason
                                 << ".";
    return ERR_PASSPHRASE;
  }
  // The first line, without its line end: LF, or CRLF as a Windows editor
  // writes it. A CR anywhere else is part of the passphrase, never an end
  // that would silently cut it short.
  std::size_t end = 0;
  while (end < bytes.size() && bytes[end] != '\n') ++end;
  if (end < bytes.size() && end > 0 && bytes[end - 1] == '\r') --end;
  if (end < kMinPassphraseLength) {
    CONSOLE_MESSAGE(kLevelError) << "The first line of the passphrase file " << file
                                 << " is shorter than " << kMinPassphraseLength << " characters.";
    return ERR_PASSPHRASE;
  }
  WipeString(entered);
  entered.assign(reinterpret_cast<const char*>(bytes.data()), end);
  return ERR_SUCCEED;
}

uint32_t StoreCommand::ReadStoreText(EnDecrypt& store, std::string& text) const {
  // The records hold every secret of the store: wiped however this ends.
  RecordMap stored;
  const ScopedWipe stored_wipe(stored);
  uint32_t code = ReadStoredRecords(store, stored);
  if (code == ERR_SUCCEED) code = RecordReveal(KeysOf(stored));
  return code == ERR_SUCCEED ? FormatPlainText(stored, text) : code;
}
