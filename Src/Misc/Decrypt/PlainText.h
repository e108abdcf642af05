// A store's records as the plaintext file encrypt reads: sensitive settings
// as {"sensitive_settings": {...}} with every value a JSON string, or the
// credential list rebuilt from the "<target>/user" and "<target>/password"
// records. Keys (and targets) in ascending byte order, pretty-printed,
// bytes as stored except what JSON must escape, so that encrypting the text
// again gives the same records.
#ifndef SRC_MISC_DECRYPT_PLAINTEXT_H_
#define SRC_MISC_DECRYPT_PLAINTEXT_H_

#include <map>
#include <string>

using PlainRecords = std::map<std::string, std::string>;

// Stores the settings text of `records` in `text`; its capacity is reserved
// up front, so no partial copy of a value is left behind in freed memory.
void FormatSettings(const PlainRecords& records, std::string& text);

// Stores the credential text of `records` in `text`, or returns false
// (with `text` untouched) and names in `misfit` the first key that is not
// "<target>/user" or "<target>/password" of a target that has both.
[[nodiscard]] bool FormatCredentials(const PlainRecords& records, std::string& text,
                                     std::string& misfit);

#endif  // SRC_MISC_DECRYPT_PLAINTEXT_H_
