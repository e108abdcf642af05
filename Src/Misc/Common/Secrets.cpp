#include "Src/Misc/Common/Secrets.h"

#include <filesystem>

#include "suite/platform/Utf8Path.h"

bool EntryExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(platform::MakePath(path), error) && !error;
}
