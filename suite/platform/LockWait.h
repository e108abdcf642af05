// The wait for the writers' lock of a file, the same on every system: the
// system's side only tries the lock once (FilesPosix.cpp, FilesWindows.cpp).
// For the file layer's sources.
#ifndef SUITE_PLATFORM_LOCKWAIT_H_
#define SUITE_PLATFORM_LOCKWAIT_H_

#include <functional>
#include <string>

#include "suite/platform/Files.h"

namespace platform {

// Calls `try_lock` (kOk when it took the lock, kBusy when another process
// holds it, kFailed) until it takes the lock, fails, or `wait_seconds` have
// passed: kBusy then, its reason naming `shown`, the lock file, for the
// caller to report. A wait of over a second is said on standard error as it
// happens, naming the lock file, so that the user does not take it for a
// hang.
[[nodiscard]] FileResult WaitForLock(const std::function<FileResult()>& try_lock,
                                     int wait_seconds, const std::string& shown);

// Writes "kelvox: `line`" and a line end to standard error: what the user
// must see at once, not in the log.
void Notice(const std::string& line);

}  // namespace platform

#endif  // SUITE_PLATFORM_LOCKWAIT_H_
