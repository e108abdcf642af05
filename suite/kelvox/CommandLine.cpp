#include "suite/kelvox/CommandLine.h"

#include <cstddef>
#include <sstream>

#include "suite/usage/Commands.h"

namespace {

constexpr char kOptionPrefix[] = "--";
constexpr char kHelpOption[] = "help";

bool IsOption(const std::string& arg) { return arg.rfind(kOptionPrefix, 0) == 0; }

const CommandOption* FindOption(const CommandSpec& command, const std::string& name) {
  for (const CommandOption& option : command.options) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

CommandLine UsageError(std::string error) {
  CommandLine line;
  line.action = CommandLine::Action::kUsageError;
  line.error = std::move(error);
  return line;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) return UsageError("no command given");
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    CommandLine line;
    line.action = CommandLine::Action::kHelp;
    return line;
  }
  if (args.size() == 1 && args[0] == "--version") {
    CommandLine line;
    line.action = CommandLine::Action::kVersion;
    return line;
  }
  if (IsOption(args[0])) return UsageError("the command must come first, before '" + args[0] + "'");
  const CommandSpec* command = FindCommand(args[0]);
  if (command == nullptr) return UsageError("unknown command '" + args[0] + "'");

  CommandLine line;
  line.action = CommandLine::Action::kRun;
  line.command = args[0];
  size_t first = 1;
  // An action whose arguments repeat (audit verify FILE...) takes them
  // among its options too, and its flags then take no value.
  bool loose = false;
  if (!command->actions.empty() && args.size() > 1 && !IsOption(args[1])) {
    line.context.host_list.push_back(args[first++]);
    // An unknown action is refused before anything else, --help included.
    if (FindAction(*command, args[1]) == nullptr) {
      CommandLine refused = UsageError(FindUsageFault(*command, line.context, UsageScope::kNames));
      refused.command = line.command;
      return refused;
    }
    // An action's own arguments (retire KEYID) follow it, before any option;
    // how many it takes is one of the command's rules.
    while (first < args.size() && !IsOption(args[first]) && args[first] != "-h") {
      line.context.host_list.push_back(args[first++]);
    }
    const CommandAction* action = FindAction(*command, args[1]);
    loose = action->argument != nullptr && action->repeated;
  }
  for (size_t i = first; i < args.size(); ++i) {
    // What follows "--" is the command's, word for word, options and all.
    if (args[i] == kOptionPrefix && command->trailing != nullptr) {
      line.context.host_list.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    const std::string& arg = args[i] == "-h" ? std::string("--") + kHelpOption : args[i];
    if (!IsOption(arg) && loose) {
      line.context.host_list.push_back(arg);
      continue;
    }
    if (!IsOption(arg)) {
      return UsageError("unexpected argument '" + arg + "'" +
                        (command->trailing != nullptr ? "; " + std::string(command->trailing) +
                                                            " follows --"
                                                      : std::string()));
    }
    std::string name = arg.substr(2);
    std::string value;
    const size_t equals = name.find('=');
    if (equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    const CommandOption* option = FindOption(*command, name);
    if (equals == std::string::npos && i + 1 < args.size() && !IsOption(args[i + 1]) &&
        !(loose && option != nullptr && !TakesValue(*option))) {
      value = args[++i];
    }
    if (name.empty()) return UsageError("an option needs a name after '--'");
    const auto known = line.context.options.find(name);
    if (option != nullptr && option->repeatable && known != line.context.options.end()) {
      known->second += std::string(1, '\0') + value;
    } else {
      line.context.options[name] = value;
    }
  }
  // Help runs nothing, whatever else the line holds.
  if (line.context.options.count(kHelpOption) != 0) {
    line.action = CommandLine::Action::kCommandHelp;
    return line;
  }
  // The host refuses a command line that names what the command does not
  // have and, for a command whose faults the host reports, one that breaks
  // the command's rules (Commands.h).
  const UsageScope scope =
      command->faults == FaultReporter::kHost ? UsageScope::kAll : UsageScope::kNames;
  if (std::string fault = FindUsageFault(*command, line.context, scope); !fault.empty()) {
    CommandLine refused = UsageError(std::move(fault));
    refused.command = line.command;
    return refused;
  }
  return line;
}

std::string GetUsageText() {
  std::ostringstream text;
  text << "usage: kelvox COMMAND [--name value | --name=value | --flag]... [-- ARG...]\n"
          "       kelvox COMMAND --help\n"
          "       kelvox --help | --version\n"
          "\n"
          "commands:\n";
  for (const CommandSpec& command : GetCommands()) {
    text << "  " << command.name << (*command.usage == '\0' ? "" : " ") << command.usage
         << "\n      " << command.summary << "\n";
  }
  text << "\n"
          "exit status: 0 success; 1-255 the command's result code (1 for a larger code),\n"
          "             e.g. 9 import: not an age file this host opens, 11 not written or a\n"
          "             lock held, 40 host key missing or untrusted,\n"
          "             45 mode conflict, 46 passphrase error, 47 declined;\n"
          "             1 also: get, remove, exec or render of a key not stored, hostkey\n"
          "             retire of a key not kept; 3 exec: the program cannot be run;\n"
          "             2 usage error; 31 plug-in cannot be loaded; 70 the command\n"
          "             failed unexpectedly; 71 no standard streams; 130 Ctrl+C at a prompt\n"
          "             (every command but encrypt)\n";
  return text.str();
}
