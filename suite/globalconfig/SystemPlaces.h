// Where this system keeps the suite's files when the configuration names no
// other place: the configuration files looked for after KELVOX_GLOBAL_CONFIG
// and the program's own folder, and the log files. One source per platform
// (SystemPlacesPosix.cpp, SystemPlacesWindows.cpp); paths are UTF-8.
#ifndef SUITE_GLOBALCONFIG_SYSTEMPLACES_H_
#define SUITE_GLOBALCONFIG_SYSTEMPLACES_H_

#include <string>
#include <vector>

namespace ZUdurov {
namespace system_places {

// The configuration files to try, in order, for a program that runs from
// `program_folder`.
std::vector<std::string> GetConfigFiles(const std::string& program_folder);

// The log file when the configuration names none.
std::string GetDefaultLogFile(const std::string& program_folder);

// The current user's own log file, for when the default cannot be opened;
// empty when the user has no such folder.
std::string GetUserLogFile();

}  // namespace system_places
}  // namespace ZUdurov

#endif  // SUITE_GLOBALCONFIG_SYSTEMPLACES_H_
