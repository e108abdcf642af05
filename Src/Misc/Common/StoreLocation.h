// Where a type's encrypted store lives, by the rules every store command
// shares: the path configured under the type's key, placed under a program
// directory when it is a bare file name or starts with a "." or ".."
// component.
#ifndef SRC_MISC_COMMON_STORELOCATION_H_
#define SRC_MISC_COMMON_STORELOCATION_H_

#include <cstdint>
#include <string>

// Input file and store types, in the order every per-type step runs: from
// 0 to kFileTypeCount - 1.
using FileType = int32_t;
constexpr FileType SensitiveSetting = 0;
constexpr FileType Credential = 1;
constexpr FileType kFileTypeCount = 2;

// The configuration key naming each type's encrypted file, indexed by
// FileType.
extern const char* const EncryptedPathKeys[kFileTypeCount];

// Stores in `type` the type "--type" calls `name` (suite/usage/Commands.h);
// false, with `type` untouched, for any other name.
[[nodiscard]] bool ParseFileType(const std::string& name, FileType& type);

// Stores in `path` (which comes in empty) the store configured under `key`.
// Returns ERR_SUCCEED, or the configuration's failure as a common code
// (ERR_READ_FILE when it gives none) with `path` left empty.
[[nodiscard]] uint32_t LocateStore(const std::string& key, std::string& path);

#endif  // SRC_MISC_COMMON_STORELOCATION_H_
