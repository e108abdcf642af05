// Where this system keeps the suite's files when the configuration names no
// other place: the configuration files looked for after KELVOX_GLOBAL_CONFIG
// and the program's own folder, the log files, the host key and the
// OpenSSH server's host key. What a
// user keeps for themselves (their log, their host key) lives in one state
// folder of theirs. SystemPlacesPosix.cpp and SystemPlacesWindows.cpp hold
// the two sides; paths are UTF-8.
#ifndef SUITE_PLATFORM_SYSTEMPLACES_H_
#define SUITE_PLATFORM_SYSTEMPLACES_H_

#include <string>
#include <vector>

namespace platform {

// The configuration files to try, in order, for a program that runs from
// `program_folder`.
std::vector<std::string> GetConfigFiles(const std::string& program_folder);

// The log file when the configuration names none: the system's log folder
// for the administrator where it exists (POSIX), or the user's own log file.
std::string GetDefaultLogFile(const std::string& program_folder);

// The current user's own log file, for when the default cannot be opened;
// empty when the user has no state folder.
std::string GetUserLogFile();

// Where the host key lives when the configuration does not say: the
// system's state folder for the administrator where the package made it,
// the user's state folder otherwise. Empty when no such folder can be
// named.
std::string DefaultHostKeyPath();

// Where the system's OpenSSH server keeps its Ed25519 host key, which an
// import tries when the configuration names no other; empty when no such
// place can be named.
std::string DefaultSshHostKeyPath();

}  // namespace platform

#endif  // SUITE_PLATFORM_SYSTEMPLACES_H_
