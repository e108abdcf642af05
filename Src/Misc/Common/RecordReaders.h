// The two readers of plaintext records, the settings reader and the
// credential reader, as encrypt runs them on its input file and import on
// the text of a decrypted age file: every reader is tried, and the type of
// the text is whatever the readers found. Both read through the one JSON
// reading (suite/jsontext), so a text that is not JSON ends the reading at
// the first reader.
#ifndef SRC_MISC_COMMON_RECORDREADERS_H_
#define SRC_MISC_COMMON_RECORDREADERS_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "Src/Misc/Common/PlainText.h"
#include "Src/Misc/Common/StoreLocation.h"

using RecordMap = std::map<std::string, std::string>;
using TypedRecords = std::map<FileType, RecordMap>;

// Logs what reading the settings of the input `name` gave, as encrypt
// always has (where a text stops being JSON, or that it holds no settings,
// or each setting's name, escaped; never a value), the cause of a text
// that cannot be read or is not JSON as a note for the console (Log.h),
// and returns ERR_SUCCEED when it
// found settings, ERR_GENERIC_FAILURE for JSON without them, and
// ERR_INVALID_FILE for a text that is not JSON or cannot be read, which
// ends the reading.
[[nodiscard]] uint32_t ReportSettingsReading(const SettingsReading& reading,
                                             const std::string& name);

// Stores `found`, what the credential parser returned `parsed` for, as the
// records of type Credential when it parsed and found at least one; else
// logs the parser's number, wipes `found` and leaves `records` untouched;
// a list that is there but refused (an entry that does not parse) is also
// a note for the console, since the run may go on with the settings alone.
// True on success.
bool TakeCredentialRecords(int parsed, RecordMap& found, TypedRecords& records);

// Runs both readers on the `size` bytes at `data`, named `name` in the log.
// ERR_SUCCEED with at least one type in `records`, else ERR_INVALID_FILE
// (a text that is not JSON ends the reading at once), or ERR_READ_FILE,
// with the entry named on the console, for a credential list that is there
// but does not parse: then nothing is taken, settings neither.
[[nodiscard]] uint32_t ReadRecordsFromText(const char* data, std::size_t size,
                                           const std::string& name, TypedRecords& records);

#endif  // SRC_MISC_COMMON_RECORDREADERS_H_
