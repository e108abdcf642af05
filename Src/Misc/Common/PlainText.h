// A store's plaintext form: the text decrypt prints and edit opens, in the
// layout of one of encrypt's two inputs. Settings are written as
// {"sensitive_settings": {...}} with every value a JSON string; credentials
// as the list rebuilt from the "<target>/user" and "<target>/password"
// records. Keys (and targets) in ascending byte order, bytes as stored
// except what JSON must escape. This unit decides which form a store takes,
// writes it, and reads both forms as encrypt reads them, so that for every
// store FormatPlainForm then encrypt gives the same records, or
// FormatPlainForm says why it cannot (docs/settings-format.md, "Plaintext
// form of a store").
#ifndef SRC_MISC_COMMON_PLAINTEXT_H_
#define SRC_MISC_COMMON_PLAINTEXT_H_

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "Src/Misc/Common/StoreLocation.h"
#include "suite/jsontext/JsonText.h"

using PlainRecords = std::map<std::string, std::string>;

enum class PlainForm { kSettings, kCredentials };

// True when `key` is "<target>/user" or "<target>/password" with a
// non-empty target; stores the target in `target`.
[[nodiscard]] bool SplitCredentialKey(const std::string& key, std::string& target);

// The two keys of a credential target.
std::string CredentialUserKey(const std::string& target);
std::string CredentialPasswordKey(const std::string& target);

// True when every key (in ascending order) is the user or password of a
// target that has both; else names the first that is not in `misfit`.
[[nodiscard]] bool FitsCredentials(const std::vector<std::string>& keys, std::string& misfit);
[[nodiscard]] bool FitsCredentials(const PlainRecords& records, std::string& misfit);

// The form of a store holding `keys` (in ascending order): its type's when
// it is named by type (SensitiveSetting or Credential); else, for a store
// named by path, the credentials form when it holds records and they all
// fit it, the settings form otherwise (an empty store included).
[[nodiscard]] PlainForm FormOfStore(FileType type, const std::vector<std::string>& keys);
[[nodiscard]] PlainForm FormOfStore(FileType type, const PlainRecords& records);

enum class FormatFault {
  kNone,
  kMisfit,   // a key is not the user or password of a target with both
  kNotText,  // a key or value holds bytes that no JSON string carries back
};

// Stores in `text` the plaintext of `records` in `form`, its capacity
// reserved up front so that no partial copy of a value is left behind in
// freed memory. On a fault leaves `text` untouched and names the record in
// `key`. Credentials without a record give a list that encrypt declines:
// see EncryptTakesBack.
[[nodiscard]] FormatFault FormatPlainForm(const PlainRecords& records, PlainForm form,
                                          std::string& text, std::string& key);

// False for the one text FormatPlainForm writes that encrypt does not
// read back: a credentials form without a record, since encrypt wants at
// least one.
[[nodiscard]] bool EncryptTakesBack(const PlainRecords& records, PlainForm form);

// What reading a sensitive settings file gave.
enum class SettingsResult {
  kOk,
  kCannotOpen,  // the file cannot be opened or read
  kNotJson,     // see SettingsReading::json for the fault and its place
  kNoSettings,  // JSON without exactly one top-level "sensitive_settings"
};

struct SettingsReading {
  SettingsResult result = SettingsResult::kOk;
  jsontext::Reading json;
  // On kOk, the settings' names in file order, a repeated name each time.
  std::vector<std::string> names;
};

// Reads a sensitive settings file (docs/settings-format.md) as encrypt
// does, from the file at `path` or from the `size` bytes at `data`, the
// whole text of such a file held in memory. On kOk replaces the contents
// of `records` with the settings (wiping the values it held); otherwise
// leaves `records` untouched. The text is read in memory that is wiped when
// freed; `data` itself is only read. Logs nothing.
[[nodiscard]] SettingsReading ReadSettingsFile(const std::string& path, PlainRecords& records);
[[nodiscard]] SettingsReading ReadSettingsText(const char* data, std::size_t size,
                                               PlainRecords& records);

// Reads `text` in `form` by encrypt's reader of that form; a credentials
// form may list no entry. On success replaces the contents of `records`;
// otherwise leaves them and says why in `reason`, in words for the console
// (a JSON fault with its line and column), never quoting the text.
[[nodiscard]] bool ReadPlainText(const std::string& text, PlainForm form, PlainRecords& records,
                                 std::string& reason);

// Where a text stops being JSON, in words for the console: the fault and
// its line and column in the file as written; never the text itself.
[[nodiscard]] std::string DescribeJsonFault(const jsontext::Reading& reading);

// A credential parser's result other than kOk, in words for the console
// ("an entry lacks its target, user or password").
[[nodiscard]] const char* DescribeCredentialFault(int result);

#endif  // SRC_MISC_COMMON_PLAINTEXT_H_
