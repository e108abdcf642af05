// Where a type's encrypted store lives, by the rules every store command
// shares: the path configured under the type's key, placed under a program
// directory when it is a bare file name or starts with a "." or ".."
// component.
#ifndef SRC_MISC_COMMON_STORELOCATION_H_
#define SRC_MISC_COMMON_STORELOCATION_H_

#include <cstdint>
#include <string>
#include <vector>

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
// WRK_BIN_EXE places the first relative store a process locates and is
// then used up, so one store can be at either of two paths.
[[nodiscard]] uint32_t LocateStore(const std::string& key, std::string& path);

// Appends to `paths` every path at which a command may have placed the
// store configured under `key` in this environment, each through the same
// placement as LocateStore: with WRK_BIN_EXE set, beside that program (a
// command of one store, or the first type of an encrypt run) and beside the
// running program (the second type); otherwise the one path. Leaves the
// variable as it is. Returns as LocateStore does. Whoever must see every
// store of the host (the host key's status, rotation and retirement) looks
// at all of them.
[[nodiscard]] uint32_t LocateStorePlaces(const std::string& key, std::vector<std::string>& paths);

#endif  // SRC_MISC_COMMON_STORELOCATION_H_
