// Parses the host program's command line:
//   kelvox COMMAND [ACTION] [--name value | --name=value | --flag]... [-- ARG...]
// A command that takes arguments after "--" (exec's program) gets each of
// them in HostContext::host_list as written, options and "--help" included.
// A command with actions (suite/usage/Commands.h) needs one, which lands in
// HostContext::host_list with the arguments that follow it.
// Each option lands in HostContext::options under its name without the
// dashes, case kept; a flag maps to the empty string; an argument starting
// with "--" always opens a new option; a repeated option keeps its last value
// unless the command marks it repeatable.
// "--help" anywhere after the command asks for that command's usage; an
// unknown action or any other option the command does not accept is a
// usage error, and so is a line that breaks the command's rules when the
// host reports those (Commands.h).
#ifndef SUITE_KELVOX_COMMANDLINE_H_
#define SUITE_KELVOX_COMMANDLINE_H_

#include <string>
#include <vector>

#include "plugin/HostContext.h"

struct CommandLine {
  enum class Action { kRun, kHelp, kCommandHelp, kVersion, kUsageError };
  Action action = Action::kUsageError;
  std::string command;  // lower-case command name: kRun, kCommandHelp, some kUsageError
  HostContext context;
  std::string error;    // what is wrong, for kUsageError
};

// `args` excludes the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The usage text printed by --help and after a usage error.
std::string GetUsageText();

#endif  // SUITE_KELVOX_COMMANDLINE_H_
