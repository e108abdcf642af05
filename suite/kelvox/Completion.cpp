#include "suite/kelvox/Completion.h"

#include <algorithm>
#include <string>
#include <vector>

#include "suite/usage/Commands.h"

namespace {

constexpr char kDashes[] = "--";

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The option a word names ("--name" or "--name=value"), without dashes;
// empty for a word that is no option.
std::string OptionNamed(const std::string& word) {
  if (!StartsWith(word, kDashes)) return {};
  return word.substr(2, word.find('=') - 2);
}

const CommandOption* FindCommandOption(const CommandSpec& command, const std::string& name) {
  for (const CommandOption& option : command.options) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

// True when an argument called `argument` ("FILE", "PATH", "FILE|-") names
// something on disk.
bool NamesAFile(const std::string& argument) {
  return argument.find("FILE") != std::string::npos || argument.find("PATH") != std::string::npos;
}

// True when `option` may not follow `given`, the options on the line: both
// are in one group of which only one may be given, or it needs an option
// that may not follow them (--user, once --key excludes --target).
bool IsExcluded(const CommandSpec& command, const std::string& option,
                const std::vector<std::string>& given) {
  for (const auto* groups : {&command.rules.exactly_one, &command.rules.at_most_one}) {
    for (const std::vector<const char*>& group : *groups) {
      const auto in_group = [&group](const std::string& name) {
        return std::find(group.begin(), group.end(), name) != group.end();
      };
      if (in_group(option) && std::any_of(given.begin(), given.end(), in_group)) return true;
    }
  }
  for (const auto& [needing, partner] : command.rules.needs) {
    if (option == needing && IsExcluded(command, partner, given)) return true;
  }
  return false;
}

std::vector<std::string> OptionsOf(const CommandSpec& command, const CommandAction* action,
                                   const std::vector<std::string>& before) {
  std::vector<std::string> given;
  for (const std::string& word : before) {
    if (!OptionNamed(word).empty()) given.push_back(OptionNamed(word));
  }
  std::vector<std::string> offered;
  for (const CommandOption& option : command.options) {
    if (action != nullptr && std::find(action->options.begin(), action->options.end(),
                                       std::string(option.name)) == action->options.end()) {
      continue;
    }
    const bool was_given = std::find(given.begin(), given.end(), option.name) != given.end();
    if ((was_given && !option.repeatable) || (!was_given && IsExcluded(command, option.name, given))) {
      continue;
    }
    offered.push_back(kDashes + std::string(option.name));
  }
  offered.emplace_back("--help");
  return offered;
}

std::vector<std::string> Candidates(const std::vector<std::string>& before, const std::string& cur) {
  if (before.empty()) {
    if (StartsWith(cur, "-")) return {"--help", "--version"};
    std::vector<std::string> names;
    for (const CommandSpec& command : GetCommands()) names.emplace_back(command.name);
    return names;
  }
  const CommandSpec* command = FindCommand(before.front());
  if (command == nullptr) return {};
  if (!command->actions.empty() && before.size() == 1) {
    std::vector<std::string> names;
    for (const CommandAction& action : command->actions) names.emplace_back(action.name);
    return names;
  }
  // After "--" the words are the program's: a file name, then its own.
  if (command->trailing != nullptr && std::find(before.begin(), before.end(), kDashes) != before.end()) {
    return {kCompleteFileName};
  }
  const std::string previous = before.back();
  if (const CommandOption* option = FindCommandOption(*command, OptionNamed(previous));
      option != nullptr && (option->argument != nullptr || !option->choices.empty()) &&
      previous.find('=') == std::string::npos) {
    if (!option->choices.empty()) return {option->choices.begin(), option->choices.end()};
    if (NamesAFile(option->argument)) return {kCompleteFileName};
    return {};
  }
  const CommandAction* action =
      command->actions.empty() ? nullptr : FindAction(*command, before.at(1));
  if (!command->actions.empty() && action == nullptr) return {};
  return OptionsOf(*command, action, {before.begin() + 1, before.end()});
}

}  // namespace

std::vector<std::string> CompleteWords(const std::vector<std::string>& words) {
  if (words.empty()) return {};
  const std::string& cur = words.back();
  std::vector<std::string> found =
      Candidates(std::vector<std::string>(words.begin(), words.end() - 1), cur);
  if (found.size() == 1 && found.front() == kCompleteFileName) return found;
  found.erase(std::remove_if(found.begin(), found.end(),
                             [&cur](const std::string& each) { return !StartsWith(each, cur); }),
              found.end());
  return found;
}
