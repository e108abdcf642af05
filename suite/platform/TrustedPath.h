// The one rule that decides whether a path may be trusted with secrets or
// settings, for every kind of file the suite reads them from or writes them
// into: configuration, log, stores, host keys and their ring, locks,
// identities, outputs and the editor's private folder. Every file call of
// Files.h, the log file and the configuration's read go through it, so no
// kind of file decides on its own. TrustedPathPosix.cpp and
// TrustedPathWindows.cpp hold the two sides. Thread-safe.
#ifndef SUITE_PLATFORM_TRUSTEDPATH_H_
#define SUITE_PLATFORM_TRUSTEDPATH_H_

#include <string>

#include "suite/platform/Files.h"

namespace platform {

// What the rule makes of a symbolic link at the path's last entry. A link
// on the way to it (a folder) is always allowed on the terms below.
enum class LastLink {
  kRefused,   // the entry itself must not be a link (a key, a lock, a log)
  kFollowed,  // followed on the same terms as a folder's link (a store kept
              // elsewhere through a link, a configuration in /etc/alternatives)
};

// Checks `path` against the rule. On POSIX: the entry at the path, when
// there is one, and every folder above it, up to and including the first
// folder owned by root, must be owned by root or by the running user and
// must not be writable by group or others; a sticky folder (as /tmp) is
// the exception, safe for the entries its users own, since only they may
// rename or remove them. A symbolic link on the way is followed only when
// root or the running user owns it, and then the rule applies again to
// what it leads to. What does not exist yet passes: it is made new by the
// caller (exclusively, never adopted), in folders the rule trusted.
// Returns kOk; kUntrusted with the reason naming the path and the check
// that failed ("'/srv/a/host.key' refused: its folder '/srv/a' is owned by
// another user"); kBadPath for a loop of links. With `resolved`, stores
// there the path with every link followed. On Windows the access lists
// the suite sets decide; the rule refuses a link (reparse point) at the
// last entry when `last_link` says so.
[[nodiscard]] FileResult CheckTrustedPath(const std::string& path, LastLink last_link,
                                          std::string* resolved = nullptr);

}  // namespace platform

#endif  // SUITE_PLATFORM_TRUSTEDPATH_H_
