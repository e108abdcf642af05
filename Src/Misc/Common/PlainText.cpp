#include "Src/Misc/Common/PlainText.h"

#include <string_view>
#include <utility>

#include "Src/Misc/Common/JsonWriter.h"
#include "host/CredentialFileParser.h"
#include "suite/platform/InputFile.h"
#include "suite/secretmemory/SecretMemory.h"

namespace {

constexpr std::string_view kSettingsNode = "sensitive_settings";
constexpr std::string_view kCredentialList = "credentials";

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() > suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Per target, whether its user and its password record are there.
using Targets = std::map<std::string_view, std::pair<bool, bool>>;

// Gathers the targets of `keys`; false, naming the first key that does not
// fit in `misfit`, when a key is neither a user nor a password, or a target
// lacks one of the two. Keys come in order, so a target's two records are
// not always neighbours ("a/password" < "a/user" < "a0/...").
bool GatherTargets(const std::vector<std::string_view>& keys, Targets& targets,
                   std::string& misfit) {
  for (const std::string_view key : keys) {
    if (EndsWith(key, kCredentialUserSuffix)) {
      targets[key.substr(0, key.size() - kCredentialUserSuffix.size())].first = true;
    } else if (EndsWith(key, kCredentialPasswordSuffix)) {
      targets[key.substr(0, key.size() - kCredentialPasswordSuffix.size())].second = true;
    } else {
      misfit = std::string(key);
      return false;
    }
  }
  for (const auto& [target, present] : targets) {
    if (!present.first || !present.second) {
      misfit = std::string(target) + std::string(present.first ? kCredentialPasswordSuffix
                                                               : kCredentialUserSuffix);
      return false;
    }
  }
  return true;
}

bool CollectTargets(const PlainRecords& records, Targets& targets, std::string& misfit) {
  std::vector<std::string_view> keys;
  keys.reserve(records.size());
  for (const auto& record : records) keys.emplace_back(record.first);
  return GatherTargets(keys, targets, misfit);
}

void WriteSettings(const PlainRecords& records, JsonWriter& json) {
  json.BeginObject(JsonWriter::Layout::kLines);
  json.Key(kSettingsNode);
  json.BeginObject(JsonWriter::Layout::kLines);
  for (const auto& [key, value] : records) {
    json.Key(key);
    json.String(value);
  }
  json.End();
  json.End();
  json.EndLine();
}

void WriteCredentials(const PlainRecords& records, const Targets& targets, JsonWriter& json) {
  json.BeginObject(JsonWriter::Layout::kLines);
  json.Key(kCredentialList);
  json.BeginArray(JsonWriter::Layout::kLines);
  for (const auto& entry : targets) {
    const std::string target(entry.first);
    json.BeginObject();
    json.Key("target");
    json.String(target);
    json.Key("user");
    json.String(records.at(CredentialUserKey(target)));
    json.Key("password");
    json.String(records.at(CredentialPasswordKey(target)));
    json.End();
  }
  json.End();
  json.End();
  json.EndLine();
}

// Written twice: once to count, once into a text of that capacity.
template <typename Write>
void WriteSized(const Write& write, std::string& text) {
  JsonWriter counter(nullptr, JsonWriter::Spacing::kSpaced);
  write(counter);
  std::string out;
  out.reserve(counter.size());
  JsonWriter json(&out, JsonWriter::Spacing::kSpaced);
  write(json);
  text.swap(out);
}

// Follows the reading's events and keeps the members of the top-level
// "sensitive_settings" as views into the text: a member's name (empty for
// an element of an array) and its value as text (a string decoded, a
// number as written, a literal's word, empty for an object or array).
class SettingsCollector : public jsontext::Events {
 public:
  struct Member {
    std::string_view name;
    std::string_view value;
  };

  void BeginObject() override { Value(true, true, {}); }
  void BeginArray() override { Value(true, false, {}); }
  void End() override {
    if (--depth == 1) collecting = false;
  }
  void Key(std::string_view name) override { key = name; }
  void String(std::string_view text) override { Value(false, false, text); }
  void Number(std::string_view text) override { Value(false, false, text); }
  void Literal(std::string_view word) override { Value(false, false, word); }

  bool HasOneNode() const { return nodes == 1; }
  const std::vector<Member>& members() const { return collected; }

 private:
  void Value(bool container, bool object, std::string_view text) {
    if (depth == 0) {
      root_is_object = container && object;
    } else if (depth == 1 && root_is_object && key == kSettingsNode) {
      ++nodes;
      collecting = container;
      settings_is_object = object;
    } else if (depth == 2 && collecting) {
      collected.push_back({settings_is_object ? key : std::string_view(),
                           container ? std::string_view() : text});
    }
    if (container) ++depth;
  }

  std::size_t depth = 0;  // containers open
  bool root_is_object = false;
  bool collecting = false;  // inside a "sensitive_settings" object or array
  bool settings_is_object = false;
  int nodes = 0;  // top-level members named "sensitive_settings"
  std::string_view key;
  std::vector<Member> collected;
};

// Reads a settings file's whole text, which it rewrites in place.
SettingsReading ReadSettingsInPlace(SecretString& text, PlainRecords& records) {
  SettingsReading reading;
  SettingsCollector collector;
  reading.json = jsontext::Read(text.data(), text.size(), collector);
  if (!reading.json.IsJson()) {
    reading.result = SettingsResult::kNotJson;
    return reading;
  }
  if (!collector.HasOneNode()) {
    reading.result = SettingsResult::kNoSettings;
    return reading;
  }
  PlainRecords read;
  for (const auto& [name, view] : collector.members()) {
    reading.names.emplace_back(name);
    // Sized once to its value; a later duplicate overwrites, and move
    // assignment hands the replaced value's buffer to `value`, which is
    // wiped.
    std::string value(view);
    read.insert_or_assign(read.end(), std::string(name), std::move(value));
    WipeString(value);
  }
  WipeValues(records);
  records.swap(read);
  return reading;
}

}  // namespace

std::string DescribeJsonFault(const jsontext::Reading& reading) {
  return std::string("it is not JSON: ") + jsontext::Describe(reading.fault) + " at line " +
         std::to_string(reading.where.line) + ", column " + std::to_string(reading.where.column);
}

const char* DescribeCredentialFault(int result) {
  switch (result) {
    case CredentialFileParser::kNoCredentialList:
      return "it needs exactly one top-level \"credentials\" array";
    case CredentialFileParser::kBadEntry: return "an entry lacks its target, user or password";
    case CredentialFileParser::kDuplicateTarget: return "two entries name the same target";
    default: return "the credential reader refused it";
  }
}

bool SplitCredentialKey(const std::string& key, std::string& target) {
  for (const std::string_view suffix : {kCredentialUserSuffix, kCredentialPasswordSuffix}) {
    if (EndsWith(key, suffix)) {
      target = key.substr(0, key.size() - suffix.size());
      return true;
    }
  }
  return false;
}

std::string CredentialUserKey(const std::string& target) {
  return target + std::string(kCredentialUserSuffix);
}

std::string CredentialPasswordKey(const std::string& target) {
  return target + std::string(kCredentialPasswordSuffix);
}

bool FitsCredentials(const std::vector<std::string>& keys, std::string& misfit) {
  const std::vector<std::string_view> views(keys.begin(), keys.end());
  Targets targets;
  return GatherTargets(views, targets, misfit);
}

bool FitsCredentials(const PlainRecords& records, std::string& misfit) {
  Targets targets;
  return CollectTargets(records, targets, misfit);
}

PlainForm FormOfStore(FileType type, const std::vector<std::string>& keys) {
  if (type == SensitiveSetting) return PlainForm::kSettings;
  if (type == Credential) return PlainForm::kCredentials;
  std::string misfit;
  return !keys.empty() && FitsCredentials(keys, misfit) ? PlainForm::kCredentials
                                                        : PlainForm::kSettings;
}

PlainForm FormOfStore(FileType type, const PlainRecords& records) {
  if (type == SensitiveSetting) return PlainForm::kSettings;
  if (type == Credential) return PlainForm::kCredentials;
  std::string misfit;
  return !records.empty() && FitsCredentials(records, misfit) ? PlainForm::kCredentials
                                                              : PlainForm::kSettings;
}

FormatFault FormatPlainForm(const PlainRecords& records, PlainForm form, std::string& text,
                            std::string& key) {
  // A byte the reader refuses in a string would make the text unreadable;
  // keys are checked too, and for credentials the targets are part of them.
  for (const auto& [name, value] : records) {
    if (!jsontext::IsStringText(name) || !jsontext::IsStringText(value)) {
      key = name;
      return FormatFault::kNotText;
    }
  }
  if (form == PlainForm::kSettings) {
    WriteSized([&records](JsonWriter& json) { WriteSettings(records, json); }, text);
    return FormatFault::kNone;
  }
  Targets targets;
  if (!CollectTargets(records, targets, key)) return FormatFault::kMisfit;
  WriteSized([&](JsonWriter& json) { WriteCredentials(records, targets, json); }, text);
  return FormatFault::kNone;
}

bool EncryptTakesBack(const PlainRecords& records, PlainForm form) {
  return form == PlainForm::kSettings || !records.empty();
}

SettingsReading ReadSettingsFile(const std::string& path, PlainRecords& records) {
  // The file holds plaintext secrets: its buffer is zeroed whenever it is
  // freed, and it is read in place, so no other copy is made.
  SecretString text;
  if (platform::ReadInputFile(path, text) != platform::InputResult::kOk) {
    SettingsReading reading;
    reading.result = SettingsResult::kCannotOpen;
    return reading;
  }
  return ReadSettingsInPlace(text, records);
}

SettingsReading ReadSettingsText(const char* data, std::size_t size, PlainRecords& records) {
  SecretString text(data, size);
  return ReadSettingsInPlace(text, records);
}
