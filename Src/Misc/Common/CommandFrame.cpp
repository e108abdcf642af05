#include "Src/Misc/Common/CommandFrame.h"

#include <sstream>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/InputForm.h"
#include "Src/Misc/Common/StoreStatus.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "suite/endecrypt/HostKeyAdmin.h"
#include "suite/platform/Process.h"
#include "suite/usage/Commands.h"

CommandResult CommandFrame::SetParameters(const HostContext& host_context) {
  context = host_context;
  CommandResult result;
  uint32_t code = ERR_SUCCEED;
  // The same table the host checks the command line against: another host
  // may hand the command anything.
  const CommandSpec* command = FindCommand(name);
  if (command == nullptr) {
    KLOG(kLevelError) << "No command '" << name << "' in the table of commands.";
    code = ERR_INTERNAL;
  } else if (const std::string fault = FindUsageFault(*command, context); !fault.empty()) {
    code = RefuseOption(fault);
  } else {
    code = CheckOptions();
  }
  return MakeCommandResult(result, code);
}

CommandResult CommandFrame::Run() {
  // From here on the process may hold secrets.
  platform::DisableCoreDumps();
  InputForm::EndRunOnInterrupt();
  audit_act.command = name;
  if (!context.host_list.empty()) {
    const std::string action = audit_act.command + " " + context.host_list.front();
    if (IsAuditedCommand(action)) audit_act.command = action;
  }
  audit_act.keys = GetOptionValues("key");
  const uint32_t code = RunCommand();
  // A change is recorded once it is durable (or refused), with its outcome;
  // so is a reveal that failed before its value could go out.
  if (!revealed && IsAuditedCommand(audit_act.command)) {
    if (audit_act.command.rfind("hostkey ", 0) == 0) {
      // The host key the action left in place.
      HostKeyFacts facts;
      static_cast<void>(EnDecryptDescribeHostKey(facts));
      audit_act.key_id = facts.key_id;
    }
    static_cast<void>(RecordAct(audit_act, code));
  }
  CommandResult result;
  return MakeCommandResult(result, code);
}

uint32_t CommandFrame::RecordReveal(const std::vector<std::string>& keys,
                                    bool change_follows) const {
  AuditAct act = audit_act;
  act.keys = keys;
  const uint32_t code = ::RecordReveal(act);
  revealed = code == ERR_SUCCEED && !change_follows;
  return code;
}

bool CommandFrame::HasOption(const std::string& option) const {
  return context.options.count(option) != 0;
}

std::string CommandFrame::GetOption(const std::string& option) const {
  const auto found = context.options.find(option);
  return found != context.options.end() ? found->second : std::string();
}

std::vector<std::string> CommandFrame::GetOptionValues(const std::string& option) const {
  std::vector<std::string> values;
  if (!HasOption(option)) return values;
  // The host joins the values of a repeated option with NUL characters.
  std::istringstream given(GetOption(option));
  for (std::string value; std::getline(given, value, '\0');) values.push_back(value);
  return values;
}

uint32_t CommandFrame::FromStoreStatus(const StoreStatus& status) {
  return MapAdminStatus(status);
}

uint32_t CommandFrame::RefuseOption(const std::string& message) {
  CONSOLE_MESSAGE(kLevelError) << message;
  return ERR_INVALID_PARAMETER;
}
