#include "suite/usage/Commands.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <sstream>

#include "host/HostKeyProtection.h"

namespace {

const CommandOption kType{"type", nullptr, "the store named in global.config for that type",
                          kStoreTypeNames};
const CommandOption kStore{"store", "PATH", "the store file at PATH"};
const CommandOption kUnattended{"unattended", nullptr,
                                "open the store with this host's key, without a passphrase"};
const CommandOption kQuiet{"quiet", nullptr, "do not ask before changing the store"};
const CommandOption kPassphraseFile{
    "passphrase-file", "FILE",
    "read an attended store's passphrase from the first line of FILE (yours, mode 600)"};
const CommandOption kJson{"json", nullptr, "print one JSON document instead of text"};
constexpr char kAuditFiles[] =
    "audit files instead of the log, in order (the oldest rotated one first)";

// The store commands' rules: one store, named once.
UsageRules StoreRules(std::vector<std::vector<const char*>> exactly_one = {},
                      std::vector<std::vector<const char*>> at_most_one = {},
                      std::vector<std::pair<const char*, const char*>> needs = {}) {
  exactly_one.insert(exactly_one.begin(), {"type", "store"});
  return UsageRules{true, std::move(exactly_one), std::move(at_most_one), std::move(needs)};
}

// Options every command accepts without listing them.
constexpr char kHelpOption[] = "help";

std::string Dashed(const char* name) { return std::string("--") + name; }

// "--a, --b or --c".
std::string ListOptions(const std::vector<const char*>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
    text += Dashed(names[i]);
  }
  return text;
}

// "a|b|c".
template <typename Names, typename Show>
std::string JoinChoices(const Names& names, Show show) {
  std::string text;
  for (const auto& name : names) text += (text.empty() ? "" : "|") + std::string(show(name));
  return text;
}

// What the value is, as --help and the faults show it.
std::string ArgumentText(const CommandOption& option) {
  if (option.choices.empty()) return option.argument;
  return JoinChoices(option.choices, [](const char* choice) { return choice; });
}

const CommandOption* FindOption(const CommandSpec& command, const std::string& name) {
  for (const CommandOption& option : command.options) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

std::size_t EditDistance(const std::string& from, const std::string& to) {
  std::vector<std::size_t> row(to.size() + 1);
  for (std::size_t j = 0; j <= to.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= from.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= to.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                         diagonal + (from[i - 1] == to[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[to.size()];
}

// The accepted option nearest to `name` by edit distance (ties: the first
// in the table, then --help), with its dashes.
std::string FindClosestOption(const CommandSpec& command, const std::string& name) {
  std::string closest;
  std::size_t best = 0;
  for (const CommandOption& option : command.options) {
    const std::size_t distance = EditDistance(name, option.name);
    if (closest.empty() || distance < best) {
      closest = Dashed(option.name);
      best = distance;
    }
  }
  if (closest.empty() || EditDistance(name, kHelpOption) < best) closest = Dashed(kHelpOption);
  return closest;
}

bool Lists(const std::vector<const char*>& names, const std::string& name) {
  return std::find_if(names.begin(), names.end(),
                      [&name](const char* listed) { return name == listed; }) != names.end();
}

// The action, when it exists, and every option exist for the command.
std::string FindNameFault(const CommandSpec& command, const HostContext& context) {
  if (!command.actions.empty()) {
    if (context.host_list.empty()) {
      return std::string(command.name) + " needs an action first: " +
             JoinChoices(command.actions, [](const CommandAction& action) { return action.name; });
    }
    if (FindAction(command, context.host_list.front()) == nullptr) {
      return "unknown action '" + context.host_list.front() + "' for " + command.name;
    }
  }
  // An option the command would ignore is refused: a typo must not let a
  // write go ahead without what the user asked for.
  for (const auto& [name, value] : context.options) {
    if (FindOption(command, name) != nullptr || name == kHelpOption) continue;
    return "unknown option '--" + name + "' for " + command.name + "; did you mean '" +
           FindClosestOption(command, name) + "'?";
  }
  return std::string();
}

// The action's argument and options.
std::string FindActionFault(const CommandSpec& command, const CommandAction& action,
                            const HostContext& context) {
  const std::string named = std::string(command.name) + " " + action.name;
  const std::size_t arguments = action.argument != nullptr ? 1 : 0;
  if (context.host_list.size() != arguments + 1 && !(action.repeated && arguments == 1)) {
    return arguments == 0 ? named + " takes no argument" : named + " needs " + action.argument;
  }
  for (const auto& [name, value] : context.options) {
    if (!Lists(action.options, name)) return "--" + name + " does not apply to " + named;
  }
  for (const char* required : action.required) {
    const auto given = context.options.find(required);
    if (given == context.options.end() || given->second.empty()) {
      return named + " needs " + Dashed(required);
    }
  }
  return std::string();
}

std::string FindRuleFault(const UsageRules& rules,
                          const std::map<std::string, std::string>& options) {
  const auto given = [&options](const char* name) { return options.count(name) != 0; };
  for (const std::vector<const char*>& group : rules.exactly_one) {
    const auto count = std::count_if(group.begin(), group.end(), given);
    if (count == 0) return "missing " + ListOptions(group);
    if (count > 1) return "give only one of " + ListOptions(group);
  }
  for (const std::vector<const char*>& group : rules.at_most_one) {
    if (std::count_if(group.begin(), group.end(), given) > 1) {
      return "give only one of " + ListOptions(group);
    }
  }
  for (const auto& [option, partner] : rules.needs) {
    if (given(option) && !given(partner)) return Dashed(option) + " needs " + Dashed(partner);
  }
  return std::string();
}

std::string FindValueFault(const CommandSpec& command,
                           const std::map<std::string, std::string>& options) {
  for (const CommandOption& option : command.options) {
    const auto value = options.find(option.name);
    if (value == options.end()) continue;
    if (command.rules.strict_values && !TakesValue(option) && !value->second.empty()) {
      return Dashed(option.name) + " takes no value, but was given '" + value->second + "'";
    }
    if (command.rules.strict_values && TakesValue(option) && value->second.empty()) {
      return Dashed(option.name) + " needs " + ArgumentText(option);
    }
    if (!option.choices.empty() &&
        std::find_if(option.choices.begin(), option.choices.end(), [&value](const char* choice) {
          return value->second == choice;
        }) == option.choices.end()) {
      return Dashed(option.name) + " takes " + ArgumentText(option) + ", not '" + value->second +
             "'";
    }
  }
  return std::string();
}

}  // namespace

bool TakesValue(const CommandOption& option) {
  return option.argument != nullptr || !option.choices.empty();
}

const std::vector<CommandSpec>& GetCommands() {
  static const std::vector<CommandSpec> commands = {
      {"encrypt", "encrypt", "write a plaintext settings or credential file into its store",
       "--configfile FILE [--unattended] [--quiet]",
       {{"configfile", "FILE", "the plaintext settings or credential file"},
        {"unattended", nullptr, "seal with this host's key instead of a passphrase"},
        kQuiet},
       {},
       FaultReporter::kCommand},
      {"decrypt", "decrypt", "write a store's records back as the plaintext file",
       "(--type T | --store PATH) [--unattended] [--output FILE [--force]]",
       {kType, kStore, kUnattended, kPassphraseFile,
        {"output", "FILE", "write to a new owner-only FILE instead of standard output"},
        {"force", nullptr, "replace FILE if it exists"}},
       StoreRules({}, {}, {{"force", "output"}})},
      {"get", "get", "print the value of one record",
       "(--type T | --store PATH) --key NAME [--no-newline] [--unattended]",
       {kType, kStore, {"key", "NAME", "the key of the record to print"},
        {"no-newline", nullptr, "print the value without a newline after it"}, kUnattended,
        kPassphraseFile},
       StoreRules({{"key"}})},
      {"set", "set", "store one value, from a file, standard input or the terminal",
       "(--type T | --store PATH) (--key NAME | --target HOST --user NAME) "
       "[--value-from FILE|-] [--unattended] [--quiet]",
       {kType, kStore, {"key", "NAME", "the key of the record to store"},
        {"target", "HOST", "a new or stored credential target, stored whole"},
        {"user", "NAME", "the user of --target; the value is its password"},
        {"value-from", "FILE|-", "the value is FILE's bytes, or standard input (-), less one "
                                 "final newline"},
        kUnattended, kPassphraseFile, kQuiet},
       StoreRules({{"key", "target"}}, {}, {{"target", "user"}, {"user", "target"}})},
      {"edit", "edit", "edit a store's records in your editor",
       "(--type T | --store PATH) [--unattended] [--quiet]",
       {kType, kStore, kUnattended, kPassphraseFile, kQuiet}, StoreRules()},
      {"list", "list", "print the keys of a store's records, one per line",
       "(--type T | --store PATH) [--unattended] [--json]",
       {kType, kStore, kUnattended, kPassphraseFile, kJson}, StoreRules()},
      {"verify", "verify", "authenticate a whole store and print its mode and record count",
       "(--type T | --store PATH) [--unattended] [--json]",
       {kType, kStore, kUnattended, kPassphraseFile, kJson}, StoreRules()},
      {"remove", "remove", "remove one record, or both records of a credential target",
       "(--type T | --store PATH) (--key NAME | --target HOST) [--unattended] [--quiet]",
       {kType, kStore, {"key", "NAME", "the key of the record to remove"},
        {"target", "HOST", "the credential target whose user and password to remove"},
        kUnattended, kPassphraseFile, kQuiet},
       StoreRules({{"key", "target"}})},
      {"rekey", "rekey", "seal a store under a new passphrase or a fresh host-key salt",
       "(--type T | --store PATH) [--unattended] [--to-attended | --to-unattended]",
       {kType, kStore, kUnattended, kPassphraseFile,
        {"to-attended", nullptr, "turn an unattended store into an attended one"},
        {"to-unattended", nullptr, "turn an attended store into an unattended one"}},
       StoreRules({}, {{"to-attended", "to-unattended"}})},
      {"import", "import",
       "write the records of an age-encrypted settings or credential file into their stores",
       "--input FILE|- [--identity FILE] [--unattended] [--quiet]",
       {{"input", "FILE|-", "the age file (binary or armored), or standard input (-)"},
        {"identity", "FILE",
         "open it with the age identities or OpenSSH ed25519 key in FILE (yours, mode 600) "
         "instead of this host's"},
        {"unattended", nullptr, "seal with this host's key instead of a passphrase"},
        kQuiet},
       UsageRules{true, {{"input"}}, {}, {}}},
      {"export", "export",
       "write a store's records as decrypt would, age-encrypted to the recipients given",
       "(--type T | --store PATH) (--recipient R)... [--recipients-file FILE] [--armor]\n"
       "       --output FILE|- [--force] [--unattended]",
       {kType, kStore,
        {"recipient", "R",
         "an age recipient (age1...) or ssh-ed25519 public key to encrypt to; repeatable", {},
         true},
        {"recipients-file", "FILE",
         "encrypt to every recipient or ssh-ed25519 key in FILE, one per line"},
        {"armor", nullptr, "write the age file as text (PEM armor)"},
        {"output", "FILE|-", "write to a new owner-only FILE, or standard output (-)"},
        {"force", nullptr, "replace FILE if it exists"}, kUnattended, kPassphraseFile},
       StoreRules({{"output"}})},
      {"serve", "serve",
       "answer the service manager's credential requests (LoadCredential=) on the socket it "
       "hands over, by the grant file",
       "", {}, {}},
      {"hostkey", "hostkey",
       "show, seal, rotate, retire, back up or restore this host's key, or its age recipient",
       "status [--json] [--store PATH]... | seal --protection P |\n"
       "       rotate [--protection P] [--store PATH]... [--quiet] |\n"
       "       retire KEYID [--store PATH]... [--quiet] |\n"
       "       recipient [--json] |\n"
       "       backup --output FILE | restore --input FILE [--protection P] [--force [--quiet]]",
       {{"store", "PATH",
         "a store besides the configured ones (status, rotate, retire); repeatable", {}, true},
        {"json", nullptr, "print the status, or the recipient, as one JSON object"},
        {"protection", nullptr,
         "how the key rests on disk (seal, restore; rotate: the new key, else as the old)",
         kHostKeyProtectionNames},
        {"quiet", nullptr,
         "do not ask before replacing or removing a key (rotate, retire, restore --force)"},
        {"output", "FILE", "the new backup file (backup)"},
        {"input", "FILE", "the backup file to restore (restore)"},
        {"force", nullptr, "replace an existing host key, keeping it beside (restore)"}},
       {},
       FaultReporter::kCommand,
       {{"status", {"store", "json"}, {}},
        {"seal", {"protection"}, {"protection"}},
        {"rotate", {"store", "protection", "quiet"}, {}},
        {"retire", {"store", "quiet"}, {}, "the id of one kept key (hostkey status lists them)"},
        {"recipient", {"json"}, {}},
        {"backup", {"output"}, {"output"}},
        {"restore", {"input", "protection", "force", "quiet"}, {"input"}}}},
      {"audit", "audit", "check the audit log's chain, or show its entries",
       "verify [--json] [FILE]... | show [--key K] [--command C] [--since TIME] [--json] "
       "[FILE]...",
       {{"json", nullptr, "print the result (verify) or each entry (show) as JSON"},
        {"key", "K", "only entries naming the record key K (show)"},
        {"command", "C", "only entries of the command C (show)"},
        {"since", "TIME", "only entries at or after TIME, as the log writes it (show)"}},
       {},
       FaultReporter::kCommand,
       {{"verify", {"json"}, {}, kAuditFiles, true},
        {"show", {"json", "key", "command", "since"}, {}, kAuditFiles, true}}},
      {"exec", "exec", "run a program with stored values in its environment or in memory files",
       "[--unattended] (--env NAME=TYPE:KEY | --file NAME=TYPE:KEY)... -- PROGRAM [ARG]...",
       {{"env", "NAME=TYPE:KEY",
         "put the value of KEY in the TYPE store (settings or credentials) in the variable "
         "NAME; repeatable", {}, true},
        {"file", "NAME=TYPE:KEY",
         "put in NAME the path of a sealed memory file holding the value (Linux); repeatable",
         {}, true},
        {"unattended", nullptr, "open the stores with this host's key, without a passphrase"},
        kPassphraseFile},
       UsageRules{true, {}, {}, {}},
       FaultReporter::kHost,
       {},
       "PROGRAM [ARG]..."},
      {"render", "render",
       "write a file from a template, each {{kelvox:TYPE:KEY}} replaced by that value",
       "--template FILE --output FILE [--mode OCTAL] [--unattended]",
       {{"template", "FILE|-", "the template, or standard input (-)"},
        {"output", "FILE", "the file written, replaced whole and only when it changes"},
        {"mode", "OCTAL",
         "the output's permissions (default 600); group and others may read, never write"},
        {"unattended", nullptr, "open the stores with this host's key, without a passphrase"},
        kPassphraseFile},
       UsageRules{true, {{"template"}, {"output"}}, {}, {}}},
  };
  return commands;
}

const CommandSpec* FindCommand(const std::string& name) {
  for (const CommandSpec& command : GetCommands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

const CommandAction* FindAction(const CommandSpec& command, const std::string& name) {
  for (const CommandAction& action : command.actions) {
    if (name == action.name) return &action;
  }
  return nullptr;
}

std::string FindUsageFault(const CommandSpec& command, const HostContext& context,
                           UsageScope scope) {
  std::string fault = FindNameFault(command, context);
  if (!fault.empty() || scope == UsageScope::kNames) return fault;
  if (!command.actions.empty()) {
    fault = FindActionFault(command, *FindAction(command, context.host_list.front()), context);
  } else if (command.trailing != nullptr && context.host_list.empty()) {
    fault = std::string(command.name) + " needs -- " + command.trailing;
  }
  if (fault.empty()) fault = FindRuleFault(command.rules, context.options);
  if (fault.empty()) fault = FindValueFault(command, context.options);
  return fault;
}

std::string GetCommandUsage(const CommandSpec& command) {
  std::ostringstream text;
  text << "usage: kelvox " << command.name << (*command.usage == '\0' ? "" : " ") << command.usage
       << "\n"
       << "\n"
       << command.summary << "\n"
       << "\n"
       << "options:\n";
  for (const CommandOption& option : command.options) {
    std::string head = Dashed(option.name);
    if (TakesValue(option)) head += " " + ArgumentText(option);
    text << "  " << head << "\n      " << option.summary << "\n";
  }
  text << "  --help\n      print this text and run nothing\n";
  return text.str();
}
