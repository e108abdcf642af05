// Folders and files that only their owner may use: the folders of stores,
// host keys and logs, and the log file. OwnerOnlyPosix.cpp gives them mode
// 0700 and 0600 whatever the umask; OwnerOnlyWindows.cpp a protected access
// list for the owner and the system account. What exists already keeps the
// access its owner gave it.
#ifndef SUITE_PLATFORM_OWNERONLY_H_
#define SUITE_PLATFORM_OWNERONLY_H_

#include <string>

namespace platform {

// Creates `folder` and its missing ancestors, owner-only, syncing the
// parent of each one made so the new names survive a crash. True when
// `folder` is a folder afterwards.
[[nodiscard]] bool MakeOwnerOnlyFolders(const std::string& folder);

// Makes `path` an empty owner-only file unless something is there already.
// False when nothing was made (something was there, or the system refused).
bool CreateOwnerOnlyFile(const std::string& path);

}  // namespace platform

#endif  // SUITE_PLATFORM_OWNERONLY_H_
