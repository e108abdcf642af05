// Text inside the suite is UTF-8: paths from the configuration file, the
// command line and the system all travel as UTF-8 std::string. On Windows
// they become UTF-16 only at the system call (the ANSI code page would
// garble every character outside it); elsewhere these pass them through.
// Utf8PathPosix.cpp and Utf8PathWindows.cpp hold the two sides. Paths are
// std::filesystem's, from the C++ library every run loads anyway, rather
// than Boost's, whose library a run would have to load for them.
#ifndef SUITE_PLATFORM_UTF8PATH_H_
#define SUITE_PLATFORM_UTF8PATH_H_

#include <filesystem>
#include <string>

namespace platform {

// The path named by the UTF-8 `text`, for std::filesystem and the standard
// streams.
std::filesystem::path MakePath(const std::string& text);

// `path` as UTF-8.
std::string PathToUtf8(const std::filesystem::path& path);

// The environment variable's value in UTF-8; empty when it is unset.
std::string GetEnvironment(const char* name);

}  // namespace platform

#endif  // SUITE_PLATFORM_UTF8PATH_H_
