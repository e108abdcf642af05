// Where a type's encrypted store lives, by the rules every store command
// shares: the path configured under the type's key, placed under a program
// directory when it is a bare file name or starts with a "." or ".."
// component.
#ifndef SRC_MISC_ENCRYPT_STORELOCATION_H_
#define SRC_MISC_ENCRYPT_STORELOCATION_H_

#include <string>

// The configuration key naming each type's encrypted file, indexed by
// FileType (0 sensitive settings, 1 credentials).
extern const char* const EncryptedPathKeys[];

// Stores in `path` (which comes in empty) the store configured under `key`.
// Returns ERR_SUCCEED, or the configuration's failure as a common code
// (ERR_READ_FILE when it gives none) with `path` left empty.
[[nodiscard]] int LocateStore(const std::string& key, std::string& path);

#endif  // SRC_MISC_ENCRYPT_STORELOCATION_H_
