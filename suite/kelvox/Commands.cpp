#include "suite/kelvox/Commands.h"

#include <algorithm>
#include <cstddef>
#include <sstream>

namespace {

const CommandOption kType{"type", "settings|credentials",
                          "the store named in global.config for that type"};
const CommandOption kStore{"store", "PATH", "the store file at PATH"};
const CommandOption kUnattended{"unattended", nullptr,
                                "open the store with this host's key, without a passphrase"};
const CommandOption kQuiet{"quiet", nullptr, "do not ask before changing the store"};

// Options every command accepts without listing them.
constexpr char kHelpOption[] = "help";

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

}  // namespace

const std::vector<CommandSpec>& GetCommands() {
  static const std::vector<CommandSpec> commands = {
      {"encrypt", "encrypt", "write a plaintext settings or credential file into its store",
       "--configfile FILE [--unattended] [--quiet]",
       {{"configfile", "FILE", "the plaintext settings or credential file"},
        {"unattended", nullptr, "seal with this host's key instead of a passphrase"},
        kQuiet}},
      {"decrypt", "decrypt", "write a store's records back as the plaintext file",
       "(--type T | --store PATH) [--unattended] [--output FILE [--force]]",
       {kType, kStore, kUnattended,
        {"output", "FILE", "write to a new owner-only FILE instead of standard output"},
        {"force", nullptr, "replace FILE if it exists"}}},
      {"list", "list", "print the keys of a store's records, one per line",
       "(--type T | --store PATH) [--unattended]", {kType, kStore, kUnattended}},
      {"verify", "verify", "authenticate a whole store and print its mode and record count",
       "(--type T | --store PATH) [--unattended]", {kType, kStore, kUnattended}},
      {"remove", "remove", "remove one record from a store",
       "(--type T | --store PATH) --key NAME [--unattended] [--quiet]",
       {kType, kStore, {"key", "NAME", "the key of the record to remove"}, kUnattended, kQuiet}},
      {"rekey", "rekey", "seal a store under a new passphrase or a fresh host-key salt",
       "(--type T | --store PATH) [--unattended] [--to-attended | --to-unattended]",
       {kType, kStore, kUnattended,
        {"to-attended", nullptr, "turn an unattended store into an attended one"},
        {"to-unattended", nullptr, "turn an attended store into an unattended one"}}},
      {"hostkey", "hostkey", "show, seal, rotate, back up or restore this host's key",
       "status [--json] [--store PATH]... | seal --protection P | rotate [--store PATH]... |\n"
       "       backup --output FILE | restore --input FILE [--protection P] [--force]",
       {{"store", "PATH", "a store besides the configured ones (status, rotate); repeatable",
         true},
        {"json", nullptr, "print the status as one JSON object"},
        {"protection", "file|tpm2|dpapi", "how the key rests on disk (seal, restore)"},
        {"output", "FILE", "the new backup file (backup)"},
        {"input", "FILE", "the backup file to restore (restore)"},
        {"force", nullptr, "replace an existing host key (restore)"}},
       "status|seal|rotate|backup|restore"},
  };
  return commands;
}

const CommandSpec* FindCommand(const std::string& name) {
  for (const CommandSpec& command : GetCommands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

std::string FindClosestOption(const CommandSpec& command, const std::string& name) {
  std::string closest;
  std::size_t best = 0;
  for (const CommandOption& option : command.options) {
    const std::size_t distance = EditDistance(name, option.name);
    if (closest.empty() || distance < best) {
      closest = std::string("--") + option.name;
      best = distance;
    }
  }
  if (closest.empty() || EditDistance(name, kHelpOption) < best) closest = "--help";
  return closest;
}

std::string GetCommandUsage(const CommandSpec& command) {
  std::ostringstream text;
  text << "usage: kelvox " << command.name << " " << command.usage << "\n"
       << "\n"
       << command.summary << "\n"
       << "\n"
       << "options:\n";
  for (const CommandOption& option : command.options) {
    std::string head = std::string("--") + option.name;
    if (option.argument != nullptr) head += std::string(" ") + option.argument;
    text << "  " << head << "\n      " << option.summary << "\n";
  }
  text << "  --help\n      print this text and run nothing\n";
  return text.str();
}
