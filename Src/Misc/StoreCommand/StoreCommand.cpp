#include "Src/Misc/StoreCommand/StoreCommand.h"

#include "Src/Misc/Encrypt/ConsoleMessage.h"
#include "Src/Misc/Encrypt/Secrets.h"
#include "Src/Misc/Encrypt/StoreLocation.h"
#include "Src/Misc/Encrypt/StorePrompts.h"
#include "Src/Misc/Encrypt/StoreStatus.h"
#include "Src/Misc/Encrypt/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

namespace {

constexpr int kAttended = 0;
constexpr int kUnattended = 1;
// Matches neither mode, so a store that answers without one is refused.
constexpr int kUnknownMode = 2;

constexpr const char* kTypeNames[] = {"settings", "credentials"};

}  // namespace

StoreCommand::~StoreCommand() { WipeString(passphrase); }

void WipeRecords(StoreCommand::RecordMap& records) {
  for (auto& [key, value] : records) WipeString(value);
  records.clear();
}

CommandResult StoreCommand::SetParameters(const HostContext& host_context) {
  context = host_context;
  CommandResult result;
  uint32_t code = ERR_SUCCEED;
  if (HasOption("type") == HasOption("store")) {
    code = RefuseOption(
        "Name the store by exactly one of --type settings|credentials and --store PATH");
  } else if (HasOption("type")) {
    const std::string name = GetOption("type");
    for (int i = kSettings; i <= kCredentials; ++i) {
      if (name == kTypeNames[i]) type = static_cast<StoreType>(i);
    }
    if (type == kNoType) code = RefuseOption("--type takes settings or credentials");
  } else if (GetOption("store").empty()) {
    code = RefuseOption("--store takes the path of a store file");
  } else {
    path = GetOption("store");
  }
  if (code == ERR_SUCCEED) code = CheckOptions();
  return MakeCommandResult(result, code);
}

CommandResult StoreCommand::Run() {
  if (WritesDataToStandardOutput()) SetConsoleToStandardError(true);
  CommandResult result;
  const uint32_t code = OpenProc();
  return MakeCommandResult(result, code);
}

int StoreCommand::ExpectedMode() const { return HasOption("unattended") ? kUnattended : kAttended; }

bool StoreCommand::HasOption(const std::string& name) const {
  return context.options.count(name) != 0;
}

std::string StoreCommand::GetOption(const std::string& name) const {
  const auto it = context.options.find(name);
  return it != context.options.end() ? it->second : std::string();
}

uint32_t StoreCommand::FromStoreStatus(int status) {
  return status == endecrypt_status::kNotExist ? ERR_FILE_NOT_EXIST : MapStoreStatus(status);
}

uint32_t StoreCommand::RefuseOption(const std::string& message) {
  CONSOLE_MESSAGE(kLevelError) << message;
  return ERR_INVALID_PARAMETER;
}

uint32_t StoreCommand::OpenProc() {
  TRACE_ENTERING("StoreCommand::OpenProc");
  if (type != kNoType) {
    const int located = LocateStore(EncryptedPathKeys[type], path);
    if (located != static_cast<int>(ERR_SUCCEED)) {
      KLOG(kLevelError) << "Get value: " << EncryptedPathKeys[type] << " error: " << located << ".";
      return ERR_READ_FILE;
    }
  }
  if (!EntryExists(path)) {
    KLOG(kLevelError) << "Encrypted file " << path << " does not exist.";
    return ERR_FILE_NOT_EXIST;
  }
  EnDecrypt* store = EnDecrypt::GetInstance();
  if (store == nullptr) {
    KLOG(kLevelError) << "Get EnDecrypt instance error.";
    return ERR_INTERNAL;
  }
  int mode = kUnknownMode;
  const uint32_t code = FromStoreStatus(store->GetFileLastEncryptionMode(path, mode));
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Get file " << path << " last mode error.";
    return code;
  }
  // Checked before any prompt: a passphrase typed for a host-key store (or
  // the reverse) could open nothing.
  if (mode != ExpectedMode()) {
    KLOG(kLevelError) << "Encrypted file " << path << " is in the other mode.";
    return ERR_MODE_CONFLICT;
  }
  if (mode == kAttended) {
    const uint32_t prompt = AskPassphrase(path, false, passphrase);
    if (prompt != ERR_SUCCEED) {
      KLOG(kLevelError) << "Get user passphrase for file " << path << " error: " << prompt;
      return prompt;
    }
  }
  const uint32_t ran = RunOnStore();
  TRACE_EXITING("StoreCommand::OpenProc");
  return ran;
}
