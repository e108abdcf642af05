#include "Src/Misc/Exec/Exec.h"

#include <iostream>
#include <set>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/KeyText.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "suite/platform/Exec.h"
#include "suite/secretmemory/SecretMemory.h"

namespace {

// A name a shell takes for a variable: [A-Za-z_][A-Za-z0-9_]*.
bool IsVariableName(const std::string& name) {
  const auto letter = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  };
  if (name.empty() || !letter(name.front())) return false;
  for (const char c : name) {
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

}  // namespace

uint32_t EXEC::CheckOptions() {
  std::set<std::string> variables;
  for (const bool as_file : {false, true}) {
    const char* option = as_file ? "file" : "env";
    for (const std::string& given : GetOptionValues(option)) {
      const std::size_t equals = given.find('=');
      Handed each;
      each.as_file = as_file;
      each.variable = given.substr(0, equals);
      if (equals == std::string::npos || !IsVariableName(each.variable)) {
        return RefuseOption("--" + std::string(option) + " " + ShownText(given) +
                            ": NAME must be letters, digits and _, not starting with a digit");
      }
      if (!ParseValueName(std::string_view(given).substr(equals + 1), each.value)) {
        return RefuseOption("--" + std::string(option) + " " + ShownText(given) +
                            ": the value is TYPE:KEY, TYPE settings or credentials");
      }
      if (!variables.insert(each.variable).second) {
        return RefuseOption(each.variable + " is given more than once");
      }
      if (as_file && platform::WhyNoSecretFiles() != nullptr) {
        CONSOLE_MESSAGE(kLevelError) << "--file cannot be used here: "
                                     << platform::WhyNoSecretFiles() << ".";
        return ERR_NOT_SUPPORTED;
      }
      handed.push_back(std::move(each));
    }
  }
  if (handed.empty()) return RefuseOption("exec needs --env or --file");
  return ERR_SUCCEED;
}

uint32_t EXEC::RunCommand() {
  TRACE_ENTERING("EXEC::RunCommand");
  ValueMap values;
  const ScopedWipe values_wipe(values);
  for (const Handed& each : handed) values.emplace(each.value, std::string());
  const uint32_t read = ReadValues(values);
  if (read != ERR_SUCCEED) return read;

  platform::ProgramStart start;
  for (const Handed& each : handed) {
    const std::string& value = values.at(each.value);
    std::string reason;
    if (!(each.as_file ? start.AddFile(each.variable, value, reason)
                       : start.AddEnvironment(each.variable, value, reason))) {
      KLOG(kLevelError) << "Value " << ShowValueName(each.value) << " not handed over: " << reason;
      CONSOLE_MESSAGE(kLevelError) << "The value of " << ShowValueName(each.value)
                                   << " cannot be put in " << each.variable << ": " << reason
                                   << ". The program was not run.";
      return ERR_INVALID_FILE;
    }
  }
  // The program needs only what `start` holds: no other copy of a value
  // outlives this process's image (exec keeps no destructor to run).
  WipeValues(values);
  KLOG(kLevelConsole) << "Running '" << ShownText(context.host_list.front()) << "' with "
                      << handed.size() << " stored value(s).";
  std::cout.flush();
  std::cerr.flush();
  const std::string reason = start.Replace(context.host_list);
  KLOG(kLevelError) << reason;
  CONSOLE_MESSAGE(kLevelError) << "The program " << reason << ".";
  return ERR_INVALID_APPLICATION;
}
