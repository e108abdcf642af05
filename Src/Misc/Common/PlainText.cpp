#include "Src/Misc/Common/PlainText.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kUserSuffix = "/user";
constexpr std::string_view kPasswordSuffix = "/password";
constexpr unsigned char kFirstPlainByte = 0x20;
constexpr char kHexDigits[] = "0123456789abcdef";
// "\u00XX" for a control byte without a short escape.
constexpr std::size_t kLongEscapeSize = 6;

// The escape of `byte`, or nullptr when it is written as it is.
const char* ShortEscape(char byte) {
  switch (byte) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\b': return "\\b";
    case '\f': return "\\f";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: return nullptr;
  }
}

bool NeedsLongEscape(char byte) { return static_cast<unsigned char>(byte) < kFirstPlainByte; }

// Length of `value` as a quoted JSON string.
std::size_t QuotedSize(std::string_view value) {
  std::size_t size = 2;
  for (const char byte : value) {
    if (ShortEscape(byte) != nullptr) {
      size += 2;
    } else {
      size += NeedsLongEscape(byte) ? kLongEscapeSize : 1;
    }
  }
  return size;
}

}  // namespace

// Bytes from 0x80 up go out unchanged: the store holds the UTF-8 the input
// had, and the reader takes it back as it is.
void AppendJsonString(std::string_view value, std::string& out) {
  out.push_back('"');
  for (const char byte : value) {
    if (const char* escape = ShortEscape(byte)) {
      out.append(escape);
    } else if (NeedsLongEscape(byte)) {
      const auto code = static_cast<unsigned char>(byte);
      out.append("\\u00");
      out.push_back(kHexDigits[code >> 4]);
      out.push_back(kHexDigits[code & 0xF]);
    } else {
      out.push_back(byte);
    }
  }
  out.push_back('"');
}

namespace {

struct Credential {
  const std::string* user = nullptr;
  const std::string* password = nullptr;
};

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() > suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

bool SplitCredentialKey(const std::string& key, std::string& target) {
  for (const std::string_view suffix : {kUserSuffix, kPasswordSuffix}) {
    if (EndsWith(key, suffix)) {
      target = key.substr(0, key.size() - suffix.size());
      return true;
    }
  }
  return false;
}

std::string CredentialUserKey(const std::string& target) {
  return target + std::string(kUserSuffix);
}

std::string CredentialPasswordKey(const std::string& target) {
  return target + std::string(kPasswordSuffix);
}

void FormatSettings(const PlainRecords& records, std::string& text) {
  constexpr std::string_view kOpen = "{\n  \"sensitive_settings\": {";
  constexpr std::string_view kIndent = "\n    ";
  constexpr std::string_view kColon = ": ";
  constexpr std::string_view kClose = "\n  }\n}\n";
  std::size_t size = kOpen.size() + kClose.size();
  for (const auto& [key, value] : records) {
    size += 1 + kIndent.size() + QuotedSize(key) + kColon.size() + QuotedSize(value);
  }
  std::string out;
  out.reserve(size);
  out.append(kOpen);
  bool first = true;
  for (const auto& [key, value] : records) {
    if (!first) out.push_back(',');
    first = false;
    out.append(kIndent);
    AppendJsonString(key, out);
    out.append(kColon);
    AppendJsonString(value, out);
  }
  out.append(records.empty() ? std::string_view("}\n}\n") : kClose);
  text.swap(out);
}

bool FormatCredentials(const PlainRecords& records, std::string& text, std::string& misfit) {
  // Records come in key order, so a target's two records are not always
  // neighbours ("a/password" < "a/user" < "a0/..."); targets are gathered
  // first, then written in ascending order.
  std::map<std::string_view, Credential> targets;
  for (const auto& [key, value] : records) {
    const std::string_view name = key;
    if (EndsWith(name, kUserSuffix)) {
      targets[name.substr(0, name.size() - kUserSuffix.size())].user = &value;
    } else if (EndsWith(name, kPasswordSuffix)) {
      targets[name.substr(0, name.size() - kPasswordSuffix.size())].password = &value;
    } else {
      misfit = key;
      return false;
    }
  }
  for (const auto& [target, credential] : targets) {
    if (credential.user == nullptr || credential.password == nullptr) {
      misfit = std::string(target) +
               std::string(credential.user == nullptr ? kPasswordSuffix : kUserSuffix);
      return false;
    }
  }
  constexpr std::string_view kOpen = "{\n  \"credentials\": [";
  constexpr std::string_view kEntry = "\n    {\"target\": ";
  constexpr std::string_view kUser = ", \"user\": ";
  constexpr std::string_view kPassword = ", \"password\": ";
  constexpr std::string_view kClose = "\n  ]\n}\n";
  std::size_t size = kOpen.size() + kClose.size();
  for (const auto& [target, credential] : targets) {
    size += 2 + kEntry.size() + QuotedSize(target) + kUser.size() + QuotedSize(*credential.user) +
            kPassword.size() + QuotedSize(*credential.password);
  }
  std::string out;
  out.reserve(size);
  out.append(kOpen);
  bool first = true;
  for (const auto& [target, credential] : targets) {
    if (!first) out.push_back(',');
    first = false;
    out.append(kEntry);
    AppendJsonString(target, out);
    out.append(kUser);
    AppendJsonString(*credential.user, out);
    out.append(kPassword);
    AppendJsonString(*credential.password, out);
    out.push_back('}');
  }
  out.append(targets.empty() ? std::string_view("]\n}\n") : kClose);
  text.swap(out);
  return true;
}
