// Utf8Path.h on POSIX systems: names are bytes, UTF-8 as they come.
#include <cstdlib>

#include "suite/platform/Utf8Path.h"

namespace platform {

boost::filesystem::path MakePath(const std::string& text) { return text; }

std::string PathToUtf8(const boost::filesystem::path& path) { return path.string(); }

std::filesystem::path MakeStdPath(const std::string& text) { return text; }

std::string GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : std::string();
}

}  // namespace platform
