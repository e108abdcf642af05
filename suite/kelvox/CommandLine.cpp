#include "suite/kelvox/CommandLine.h"

namespace {

constexpr char kOptionPrefix[] = "--";
const char* const kCommands[] = {"encrypt"};

bool IsOption(const std::string& arg) { return arg.rfind(kOptionPrefix, 0) == 0; }

bool IsKnownCommand(const std::string& name) {
  for (const char* command : kCommands) {
    if (name == command) return true;
  }
  return false;
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
  if (!IsKnownCommand(args[0])) return UsageError("unknown command '" + args[0] + "'");

  CommandLine line;
  line.action = CommandLine::Action::kRun;
  line.command = args[0];
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!IsOption(arg)) return UsageError("unexpected argument '" + arg + "'");
    std::string name = arg.substr(2);
    std::string value;
    if (const size_t equals = name.find('='); equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    } else if (i + 1 < args.size() && !IsOption(args[i + 1])) {
      value = args[++i];
    }
    if (name.empty()) return UsageError("an option needs a name after '--'");
    line.context.options[name] = value;
  }
  return line;
}

std::string GetUsageText() {
  return "usage: kelvox COMMAND [--name value | --name=value | --flag]...\n"
         "       kelvox --help | --version\n"
         "\n"
         "commands:\n"
         "  encrypt --configfile FILE [--unattended] [--quiet]\n"
         "      write the records of a plaintext settings or credential file\n"
         "      into the encrypted store named in global.config\n"
         "\n"
         "exit status: 0 success; the result code for codes 1-255; 1 for larger codes;\n"
         "             2 usage error; 31 plug-in cannot be loaded\n";
}
