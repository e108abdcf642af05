// Utf8Path.h on POSIX systems: names are bytes, UTF-8 as they come.
#include <cstdlib>

#include "suite/platform/Utf8Path.h"

namespace platform {

std::filesystem::path MakePath(const std::string& text) { return text; }

std::string PathToUtf8(const std::filesystem::path& path) { return path.string(); }

std::string GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : std::string();
}

}  // namespace platform
