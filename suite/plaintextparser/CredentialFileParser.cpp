// The credential parser. A credential file is JSON once its whole-line //
// comments are removed, by the text rules it shares with the sensitive
// settings reader (suite/jsontext), which sees every input first and lets
// only JSON through to this parser. The scanner below follows that reader's
// JSON parser rule for rule: whatever one accepts, so does the other.
// It decodes strings in place and keeps views into the file's buffer, so a
// secret is never copied until it is handed to the caller.
#include "host/CredentialFileParser.h"

#include <sodium.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "suite/jsontext/JsonText.h"
#include "suite/platform/InputFile.h"
#include "suite/secretmemory/SecretMemory.h"

namespace {

constexpr unsigned kSurrogateMask = 0xFC00;
constexpr unsigned kHighSurrogate = 0xD800;
constexpr unsigned kLowSurrogate = 0xDC00;
constexpr unsigned kSurrogateBits = 0x3FF;
constexpr unsigned kSupplementaryBase = 0x10000;
// The three levels that mean something: the root, the list, an entry.
constexpr std::size_t kTrackedDepth = 3;

constexpr std::string_view kListName = "credentials";
constexpr std::string_view kTargetName = "target";
constexpr std::string_view kUserName = "user";
constexpr std::string_view kPasswordName = "password";
constexpr std::string_view kUserSuffix = "/user";
constexpr std::string_view kPasswordSuffix = "/password";

struct Entry {
  std::optional<std::string_view> target;
  std::optional<std::string_view> user;
  std::optional<std::string_view> password;
  bool malformed = false;
};

// Follows the scanner's events and collects the entries of the top-level
// "credentials" array, noting the first fault of the format in document
// order. Only the root, the list and the entries are tracked; anything
// deeper is ignored.
class CredentialCollector {
 public:
  void Key(std::string_view name) { key = name; }
  void String(std::string_view text) { Value(Kind::kString, text); }
  void Scalar() { Value(Kind::kScalar, {}); }
  void BeginContainer(bool is_object) { Value(is_object ? Kind::kObject : Kind::kArray, {}); }
  void EndContainer() {
    --depth;
    if (depth < kTrackedDepth && roles[depth] == Role::kEntry) FinishEntry();
  }

  int Result() const {
    if (lists != 1 || !list_is_array) return CredentialFileParser::kNoCredentialList;
    return first_fault;
  }
  const std::vector<Entry>& entries() const { return collected; }

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
    if (first_fault == CredentialFileParser::kOk) first_fault = fault;
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
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// Printable ASCII other than the quote and the backslash.
bool IsPlain(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x20 && byte < 0x80 && c != '"' && c != '\\';
}
bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// How many continuation bytes follow a byte that starts a character; -1 for
// a control character, a stray continuation byte or a lead byte of more
// than four bytes. Overlong forms pass, as they do in the settings reader.
int ContinuationBytes(unsigned char c) {
  if (c < 0x20) return -1;
  if (c < 0x80) return 0;
  if (c < 0xC0) return -1;
  if (c < 0xE0) return 1;
  if (c < 0xF0) return 2;
  if (c < 0xF8) return 3;
  return -1;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void AppendUtf8(unsigned code, char*& out) {
  if (code < 0x80) {
    *out++ = static_cast<char>(code);
  } else if (code < 0x800) {
    *out++ = static_cast<char>(0xC0 | (code >> 6));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (code >> 12));
    *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (code >> 18));
    *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Checks that a text is one JSON value and reports its parts to a collector.
// Nesting is kept on a heap stack; the depth limit of the text rules applies. Strings are
// decoded where they stand: a decoded string is never longer than its source.
class JsonScanner {
 public:
  JsonScanner(char* text, std::size_t size) : cur(text), end(text + size) {}

  // False when the text is not JSON.
  bool Scan(CredentialCollector& collector) {
    cur += jsontext::ParserStart(cur, static_cast<std::size_t>(end - cur));
    std::vector<char> open;  // '{' or '[' per open container
    enum class Next { kValue, kKey, kAfterValue };
    Next next = Next::kValue;
    while (true) {
      SkipSpace();
      if (next == Next::kKey) {
        std::string_view key;
        if (!ScanString(key)) return false;
        SkipSpace();
        if (!Take(':')) return false;
        collector.Key(key);
        next = Next::kValue;
      } else if (next == Next::kValue) {
        if (cur == end) return false;
        const char c = *cur;
        if (c == '{' || c == '[') {
          ++cur;
          collector.BeginContainer(c == '{');
          SkipSpace();
          if (Take(c == '{' ? '}' : ']')) {
            collector.EndContainer();
            next = Next::kAfterValue;
          } else {
            open.push_back(c);
            next = c == '{' ? Next::kKey : Next::kValue;
          }
          continue;
        }
        if (c == '"') {
          std::string_view text;
          if (!ScanString(text)) return false;
          collector.String(text);
        } else if (c == 't' || c == 'f' || c == 'n') {
          if (!ScanWord(c == 't' ? "true" : c == 'f' ? "false" : "null")) return false;
          collector.Scalar();
        } else {
          if (!ScanNumber()) return false;
          collector.Scalar();
        }
        next = Next::kAfterValue;
      } else {
        if (open.empty()) return cur == end;
        const bool in_object = open.back() == '{';
        if (Take(',')) {
          next = in_object ? Next::kKey : Next::kValue;
        } else if (Take(in_object ? '}' : ']')) {
          open.pop_back();
          collector.EndContainer();
        } else {
          return false;
        }
      }
    }
  }

 private:
  bool Take(char c) {
    if (cur == end || *cur != c) return false;
    ++cur;
    return true;
  }

  void SkipSpace() {
    while (cur != end && IsJsonSpace(*cur)) ++cur;
  }

  void SkipDigits() {
    while (cur != end && IsDigit(*cur)) ++cur;
  }

  bool ScanWord(std::string_view word) {
    if (static_cast<std::size_t>(end - cur) < word.size() ||
        std::string_view(cur, word.size()) != word) {
      return false;
    }
    cur += word.size();
    return true;
  }

  // -? (0 | [1-9][0-9]*) (.[0-9]+)? ([eE][+-]?[0-9]+)?, any length and size.
  bool ScanNumber() {
    Take('-');
    if (cur == end || !IsDigit(*cur)) return false;
    if (!Take('0')) SkipDigits();
    if (Take('.')) {
      if (cur == end || !IsDigit(*cur)) return false;
      SkipDigits();
    }
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (cur == end || !IsDigit(*cur)) return false;
      SkipDigits();
    }
    return true;
  }

  bool ScanString(std::string_view& value) {
    if (!Take('"')) return false;
    char* const start = cur;
    char* out = cur;
    while (true) {
      // Runs of plain characters, the bulk of any file, need no decoding,
      // and no copying either until the first escape has been decoded.
      char* const run = cur;
      while (cur != end && IsPlain(*cur)) ++cur;
      if (out != run) std::memmove(out, run, static_cast<std::size_t>(cur - run));
      out += cur - run;
      if (cur == end) return false;
      const char c = *cur;
      if (c == '"') {
        ++cur;
        value = std::string_view(start, static_cast<std::size_t>(out - start));
        return true;
      }
      if (c == '\\') {
        ++cur;
        if (!ScanEscape(out)) return false;
        continue;
      }
      const int continuation = ContinuationBytes(static_cast<unsigned char>(c));
      if (continuation < 0 || end - cur <= continuation) return false;
      *out++ = *cur++;
      for (int i = 0; i < continuation; ++i) {
        if (!IsContinuationByte(*cur)) return false;
        *out++ = *cur++;
      }
    }
  }

  bool ScanEscape(char*& out) {
    if (cur == end) return false;
    const char c = *cur++;
    switch (c) {
      case '"':
      case '\\':
      case '/': *out++ = c; return true;
      case 'b': *out++ = '\b'; return true;
      case 'f': *out++ = '\f'; return true;
      case 'n': *out++ = '\n'; return true;
      case 'r': *out++ = '\r'; return true;
      case 't': *out++ = '\t'; return true;
      case 'u': break;
      default: return false;
    }
    unsigned code = 0;
    if (!ScanHexQuad(code) || (code & kSurrogateMask) == kLowSurrogate) return false;
    if ((code & kSurrogateMask) == kHighSurrogate) {
      unsigned low = 0;
      if (!Take('\\') || !Take('u') || !ScanHexQuad(low) ||
          (low & kSurrogateMask) != kLowSurrogate) {
        return false;
      }
      code = kSupplementaryBase + (((code & kSurrogateBits) << 10) | (low & kSurrogateBits));
    }
    AppendUtf8(code, out);
    return true;
  }

  bool ScanHexQuad(unsigned& code) {
    for (int i = 0; i < 4; ++i) {
      const int digit = cur == end ? -1 : HexValue(*cur);
      if (digit < 0) return false;
      code = code * 16 + static_cast<unsigned>(digit);
      ++cur;
    }
    return true;
  }

  char* cur;
  char* const end;
};

}  // namespace

CredentialFileParser::CredentialFileParser() = default;
CredentialFileParser::~CredentialFileParser() = default;

namespace {

// Joins `text` in place and collects its credential records.
int ParseJoinedText(SecretString& text, std::map<std::string, std::string>& records) {
  const std::size_t size = jsontext::JoinLines(text.data(), text.size());
  if (jsontext::IsNestedTooDeep(text.data(), size)) return CredentialFileParser::kNotJson;

  CredentialCollector collector;
  if (!JsonScanner(text.data(), size).Scan(collector)) return CredentialFileParser::kNotJson;
  const int result = collector.Result();
  if (result != CredentialFileParser::kOk) return result;

  // Assigned in place: no temporary copy of a secret is left behind.
  for (const Entry& entry : collector.entries()) {
    const std::string target(*entry.target);
    records[target + std::string(kUserSuffix)].assign(*entry.user);
    records[target + std::string(kPasswordSuffix)].assign(*entry.password);
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
  return ParseJoinedText(text, records);
}

int CredentialFileParser::ParseText(const char* data, std::size_t size,
                                    std::map<std::string, std::string>& records) {
  // Joining works in place: on a wiped copy, so the caller's text stays.
  SecretString text(data, size);
  return ParseJoinedText(text, records);
}
