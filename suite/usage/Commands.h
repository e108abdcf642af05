// The table of commands: for each, its name, the plug-in that carries it, a
// one-line summary, its usage line, the actions it takes first and the
// options it accepts, with the rules they follow. Compiled into the host,
// which lists it for --help, prints one entry for "COMMAND --help" and
// refuses a command line that breaks it, and into every plug-in, whose
// SetParameters holds the context it is handed to the same entry (another
// host may hand it anything). A command is one entry here.
#ifndef SUITE_USAGE_COMMANDS_H_
#define SUITE_USAGE_COMMANDS_H_

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "plugin/HostContext.h"

// The values "--type" takes, indexed by the store commands' FileType.
inline constexpr const char* kStoreTypeNames[] = {"settings", "credentials"};

struct CommandOption {
  const char* name;      // without the leading dashes
  const char* argument;  // what the value is, e.g. "FILE"; null for a flag
  const char* summary;
  std::span<const char* const> choices = {};  // the only values taken; empty for any
  // Given more than once, the values are kept, joined by NUL characters
  // (which no path holds); otherwise the last one is kept.
  bool repeatable = false;
};

// An action a command takes as its first argument (hostkey status, ...).
struct CommandAction {
  const char* name;
  std::vector<const char*> options;   // those of the command's options it takes
  std::vector<const char*> required;  // those it needs, each with a non-empty value
  // The one argument that follows the action, in words ("the id of one kept
  // key"); null when none follows.
  const char* argument = nullptr;
  // With `argument`: it may be given any number of times, none too.
  bool repeated = false;
};

// The rules of a command's options. Each group lists option names without
// their dashes.
struct UsageRules {
  // Flags take no value, options with an argument take a non-empty one.
  // (Choices hold for every command.)
  bool strict_values = false;
  std::vector<std::vector<const char*>> exactly_one;
  std::vector<std::vector<const char*>> at_most_one;
  // {a, b}: a is given only together with b.
  std::vector<std::pair<const char*, const char*>> needs;
};

// Who reports a command line that breaks a command's rules or actions.
enum class FaultReporter {
  // The host, before the plug-in is loaded: one line with the usage, exit 2.
  kHost,
  // The command, as its own result (ERR_INVALID_PARAMETER); the host still
  // refuses an unknown action or option itself.
  kCommand,
};

struct CommandSpec {
  const char* name;
  const char* plugin;  // the plug-in's name; its file is GetPluginFileName(plugin)
  const char* summary;
  const char* usage;  // the arguments after "kelvox NAME"
  std::vector<CommandOption> options;
  UsageRules rules;
  FaultReporter faults = FaultReporter::kHost;
  // The actions, one of which comes first, with its argument if it takes
  // one, in HostContext::host_list; empty when the command takes none.
  std::vector<CommandAction> actions = {};
  // What follows "--" on the command line, which the command then needs
  // ("PROGRAM [ARG]..."), each argument in HostContext::host_list as
  // written; null when the command takes nothing after "--".
  const char* trailing = nullptr;
};

// Every command, in the order --help lists them.
const std::vector<CommandSpec>& GetCommands();

// The command named exactly `name`, or null.
const CommandSpec* FindCommand(const std::string& name);

// True when `option` takes a value (an argument or one of its choices).
[[nodiscard]] bool TakesValue(const CommandOption& option);

// The action of `command` named exactly `name`, or null.
const CommandAction* FindAction(const CommandSpec& command, const std::string& name);

// How far FindUsageFault looks.
enum class UsageScope {
  kNames,  // the action and each option exist
  kAll,    // also the action's argument and options, the rules and the values
};

// The first usage fault of `context` (the action and its argument in
// host_list, the options) under `command`, as one phrase naming it; empty
// when there is none.
std::string FindUsageFault(const CommandSpec& command, const HostContext& context,
                           UsageScope scope = UsageScope::kAll);

// "usage: kelvox NAME ..." followed by the summary and one line per option.
std::string GetCommandUsage(const CommandSpec& command);

#endif  // SUITE_USAGE_COMMANDS_H_
