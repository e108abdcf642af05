// The two readers of plaintext records, the settings reader and the
// credential reader, as encrypt runs them on its input file and import on
// the text of a decrypted age file: every reader is tried, and the type of
// the text is whatever the readers found.
#ifndef SRC_MISC_COMMON_RECORDREADERS_H_
#define SRC_MISC_COMMON_RECORDREADERS_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include <boost/property_tree/ptree_fwd.hpp>

#include "Src/Misc/Common/StoreLocation.h"

using RecordMap = std::map<std::string, std::string>;
using TypedRecords = std::map<FileType, RecordMap>;

// Moves the members of the one "sensitive_settings" object of `tree` into
// `records` as key/value strings, zeroing every value of the tree on the
// way, whatever happens. False, after a log line, when the tree has no
// single such object; `records` is then untouched.
[[nodiscard]] bool TakeSettingsRecords(boost::property_tree::ptree& tree, RecordMap& records);

// Stores `found`, what the credential parser returned `parsed` for, as the
// records of type Credential when it parsed and found at least one; else
// logs the parser's number, wipes `found` and leaves `records` untouched.
// True on success.
bool TakeCredentialRecords(int parsed, RecordMap& found, TypedRecords& records);

// Runs both readers on the `size` bytes at `data`, named `name` in the log.
// ERR_SUCCEED with at least one type in `records`, else ERR_INVALID_FILE
// (a text that is not JSON ends the reading at once).
[[nodiscard]] uint32_t ReadRecordsFromText(const char* data, std::size_t size,
                                           const std::string& name, TypedRecords& records);

#endif  // SRC_MISC_COMMON_RECORDREADERS_H_
