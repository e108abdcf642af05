// The credential parser. A credential file is read by the one reading of
// the suite's JSON inputs (suite/jsontext), which the sensitive settings
// reader uses too, so both take the same texts for JSON. That reading
// decodes strings in place: the collector keeps views into the file's
// buffer, and a secret is never copied until it is handed to the caller.
#include "host/CredentialFileParser.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "suite/jsontext/JsonText.h"
#include "suite/platform/InputFile.h"
#include "suite/secretmemory/SecretMemory.h"

namespace {

// The three levels that mean something: the root, the list, an entry.
constexpr std::size_t kTrackedDepth = 3;

constexpr std::string_view kListName = "credentials";
constexpr std::string_view kTargetName = "target";
constexpr std::string_view kUserName = "user";
constexpr std::string_view kPasswordName = "password";

struct Entry {
  std::optional<std::string_view> target;
  std::optional<std::string_view> user;
  std::optional<std::string_view> password;
  bool malformed = false;
};

// Follows the reading's events and collects the entries of the top-level
// "credentials" array, noting the first fault of the format in document
// order. Only the root, the list and the entries are tracked; anything
// deeper is ignored.
class CredentialCollector : public jsontext::Events {
 public:
  void Key(std::string_view name) override { key = name; }
  void String(std::string_view text) override { Value(Kind::kString, text); }
  void Number(std::string_view) override { Value(Kind::kScalar, {}); }
  void Literal(std::string_view) override { Value(Kind::kScalar, {}); }
  void BeginObject() override { Value(Kind::kObject, {}); }
  void BeginArray() override { Value(Kind::kArray, {}); }
  void End() override {
    --depth;
    if (depth < kTrackedDepth && roles[depth] == Role::kEntry) FinishEntry();
  }

  int Result() const {
    if (lists != 1 || !list_is_array) return CredentialFileParser::kNoCredentialList;
    return first_fault;
  }
  const std::vector<Entry>& entries() const { return collected; }
  // The place in the list of the entry the first fault lies in, from 1.
  std::size_t FaultyEntry() const { return faulty_entry; }

 private:
  enum class Role : unsigned char { kRoot, kList, kEntry, kIgnored };
  enum class Kind : unsigned char { kObject, kArray, kString, kScalar };

  void Value(Kind kind, std::string_view text) {
    const bool container = kind == Kind::kObject || kind == Kind::kArray;
    Role role = Role::kIgnored;  // of the container this value opens
    Role parent = Role::kIgnored;
    if (depth > 0 && depth <= kTrackedDepth) parent = roles[depth - 1];
    if (depth == 0) {
      if (kind == Kind::kObject) role = Role::kRoot;
    } else if (parent == Role::kRoot) {
      if (key == kListName) {
        ++lists;
        if (kind == Kind::kArray) {
          role = Role::kList;
        } else {
          list_is_array = false;
        }
      }
    } else if (parent == Role::kList) {
      ++listed;
      if (kind == Kind::kObject) {
        role = Role::kEntry;
        entry = Entry{};
      } else {
        NoteFault(CredentialFileParser::kBadEntry);
      }
    } else if (parent == Role::kEntry) {
      SetField(kind, text);
    }
    if (container) {
      if (depth < kTrackedDepth) roles[depth] = role;
      ++depth;
    }
  }

  // Each field once, as a string; other members of an entry are ignored.
  void SetField(Kind kind, std::string_view text) {
    std::optional<std::string_view>* field = nullptr;
    if (key == kTargetName) field = &entry.target;
    if (key == kUserName) field = &entry.user;
    if (key == kPasswordName) field = &entry.password;
    if (field == nullptr) return;
    if (kind != Kind::kString || field->has_value()) {
      entry.malformed = true;
      return;
    }
    *field = text;
  }

  void FinishEntry() {
    if (entry.malformed || !entry.target || entry.target->empty() || !entry.user ||
        !entry.password) {
      NoteFault(CredentialFileParser::kBadEntry);
    } else if (!targets.insert(*entry.target).second) {
      NoteFault(CredentialFileParser::kDuplicateTarget);
    } else {
      collected.push_back(entry);
    }
  }

  void NoteFault(int fault) {
    if (first_fault != CredentialFileParser::kOk) return;
    first_fault = fault;
    faulty_entry = listed;
  }

  std::size_t depth = 0;  // containers open
  Role roles[kTrackedDepth] = {};
  std::string_view key;  // the key of the member whose value comes next
  int lists = 0;         // top-level members named "credentials"
  bool list_is_array = true;
  Entry entry;
  std::vector<Entry> collected;
  std::unordered_set<std::string_view> targets;
  int first_fault = CredentialFileParser::kOk;
  std::size_t listed = 0;        // values of the list so far
  std::size_t faulty_entry = 0;  // `listed` when the first fault was noted
};

}  // namespace

CredentialFileParser::CredentialFileParser() = default;
CredentialFileParser::~CredentialFileParser() = default;

namespace {

// Parses a file's whole text, which it rewrites in place.
int ParseInPlace(SecretString& text, std::map<std::string, std::string>& records,
                 std::size_t* faulty_entry = nullptr) {
  CredentialCollector collector;
  if (!jsontext::Read(text.data(), text.size(), collector).IsJson()) {
    return CredentialFileParser::kNotJson;
  }
  const int result = collector.Result();
  if (result != CredentialFileParser::kOk) {
    if (faulty_entry != nullptr) *faulty_entry = collector.FaultyEntry();
    return result;
  }

  // Assigned in place: no temporary copy of a secret is left behind.
  for (const Entry& entry : collector.entries()) {
    const std::string target(*entry.target);
    records[target + std::string(kCredentialUserSuffix)].assign(*entry.user);
    records[target + std::string(kCredentialPasswordSuffix)].assign(*entry.password);
  }
  return CredentialFileParser::kOk;
}

}  // namespace

int CredentialFileParser::ParseFile(const std::string& path,
                                    std::map<std::string, std::string>& records) {
  // The file holds plaintext secrets: its buffer is zeroed whenever it is
  // freed.
  SecretString text;
  if (platform::ReadInputFile(path, text) != platform::InputResult::kOk) return kCannotOpen;
  return ParseInPlace(text, records);
}

int CredentialFileParser::ParseText(const char* data, std::size_t size,
                                    std::map<std::string, std::string>& records,
                                    std::size_t* faulty_entry) {
  SecretString text(data, size);
  return ParseInPlace(text, records, faulty_entry);
}
