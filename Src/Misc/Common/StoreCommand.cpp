#include "Src/Misc/Common/StoreCommand.h"

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/OpenStore.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/StoreLocation.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/StoreStatus.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

namespace {

// "--type" names, indexed by FileType.
constexpr const char* kTypeNames[] = {"settings", "credentials"};

}  // namespace

StoreCommand::~StoreCommand() { WipeString(passphrase); }

CommandResult StoreCommand::SetParameters(const HostContext& host_context) {
  context = host_context;
  CommandResult result;
  uint32_t code = ERR_SUCCEED;
  if (HasOption("type") == HasOption("store")) {
    code = RefuseOption(
        "Name the store by exactly one of --type settings|credentials and --store PATH");
  } else if (HasOption("type")) {
    const std::string name = GetOption("type");
    for (FileType i = SensitiveSetting; i <= Credential; ++i) {
      if (name == kTypeNames[i]) type = i;
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

int StoreCommand::ExpectedMode() const {
  return HasOption("unattended") ? kUnattendedMode : kAttendedMode;
}

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
    const uint32_t located = LocateStore(EncryptedPathKeys[type], path);
    if (located != ERR_SUCCEED) {
      KLOG(kLevelError) << "Get value: " << EncryptedPathKeys[type] << " error: " << located << ".";
      return ERR_READ_FILE;
    }
  }
  EnDecrypt* store = EnDecrypt::GetInstance();
  if (store == nullptr) {
    KLOG(kLevelError) << "Get EnDecrypt instance error.";
    return ERR_INTERNAL;
  }
  const uint32_t code =
      OpenExistingStore(*store, path, ExpectedMode(), FromStoreStatus,
                        [this](std::string& typed) { return AskPassphrase(path, false, typed); },
                        passphrase);
  if (code != ERR_SUCCEED) return code;
  const uint32_t ran = RunOnStore(*store);
  TRACE_EXITING("StoreCommand::OpenProc");
  return ran;
}
