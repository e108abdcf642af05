// The host's table of commands: for each, its name, the plug-in that
// carries it, a one-line summary, its usage line and the options it
// accepts. The host lists the table for --help, prints one entry for
// "COMMAND --help", and refuses an option a command does not accept.
#ifndef SUITE_KELVOX_COMMANDS_H_
#define SUITE_KELVOX_COMMANDS_H_

#include <map>
#include <string>
#include <utility>
#include <vector>

struct CommandOption {
  const char* name;      // without the leading dashes
  const char* argument;  // what the value is, e.g. "FILE"; null for a flag
  const char* summary;
  const char* choices = nullptr;  // "a|b": the only values taken; null for any
  // Given more than once, the values are kept, joined by NUL characters
  // (which no path holds); otherwise the last one is kept.
  bool repeatable = false;
};

// The rules the host checks for a command before its plug-in runs. Each
// group lists option names without their dashes.
struct UsageRules {
  // Flags take no value, options with an argument take a non-empty one.
  bool strict_values = false;
  std::vector<std::vector<const char*>> exactly_one;
  std::vector<std::vector<const char*>> at_most_one;
  // {a, b}: a is given only together with b.
  std::vector<std::pair<const char*, const char*>> needs;
};

struct CommandSpec {
  const char* name;
  const char* plugin;  // the plug-in's name; its file is GetPluginFileName(plugin)
  const char* summary;
  const char* usage;  // the arguments after "kelvox NAME"
  std::vector<CommandOption> options;
  UsageRules rules;
  // The actions the command takes as its first argument, separated by "|";
  // null when it takes none. The action given is the context's host_list.
  const char* actions = nullptr;
};

// Every command, in the order --help lists them.
const std::vector<CommandSpec>& GetCommands();

// The command named exactly `name`, or null.
const CommandSpec* FindCommand(const std::string& name);

// The accepted option nearest to `name` by edit distance (ties: the first
// in the table, then --help), with its dashes.
std::string FindClosestOption(const CommandSpec& command, const std::string& name);

// The first usage fault of `options` under the command's rules, as one
// phrase naming it; empty when there is none.
std::string FindUsageFault(const CommandSpec& command,
                           const std::map<std::string, std::string>& options);

// "usage: kelvox NAME ..." followed by the summary and one line per option.
std::string GetCommandUsage(const CommandSpec& command);

#endif  // SUITE_KELVOX_COMMANDS_H_
