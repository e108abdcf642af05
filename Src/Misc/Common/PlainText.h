// A store's records as the plaintext file encrypt reads: sensitive settings
// as {"sensitive_settings": {...}} with every value a JSON string, or the
// credential list rebuilt from the "<target>/user" and "<target>/password"
// records. Keys (and targets) in ascending byte order, pretty-printed,
// bytes as stored except what JSON must escape, so that encrypting the text
// again gives the same records.
#ifndef SRC_MISC_COMMON_PLAINTEXT_H_
#define SRC_MISC_COMMON_PLAINTEXT_H_

#include <map>
#include <string>
#include <string_view>

using PlainRecords = std::map<std::string, std::string>;

// Appends `value` to `out` as a quoted JSON string: what JSON must escape
// is escaped, every other byte (UTF-8 included) goes out as it is.
void AppendJsonString(std::string_view value, std::string& out);

// True when `key` is "<target>/user" or "<target>/password" with a
// non-empty target; stores the target in `target`.
[[nodiscard]] bool SplitCredentialKey(const std::string& key, std::string& target);

// The two keys of a credential target.
std::string CredentialUserKey(const std::string& target);
std::string CredentialPasswordKey(const std::string& target);

// Stores the settings text of `records` in `text`; its capacity is reserved
// up front, so no partial copy of a value is left behind in freed memory.
void FormatSettings(const PlainRecords& records, std::string& text);

// Stores the credential text of `records` in `text`, or returns false
// (with `text` untouched) and names in `misfit` the first key that is not
// "<target>/user" or "<target>/password" of a target that has both.
[[nodiscard]] bool FormatCredentials(const PlainRecords& records, std::string& text,
                                     std::string& misfit);

#endif  // SRC_MISC_COMMON_PLAINTEXT_H_
