#include "Src/Misc/Common/Secrets.h"

#include <boost/filesystem.hpp>

#include "suite/platform/Utf8Path.h"

bool EntryExists(const std::string& path) {
  boost::system::error_code error;
  return boost::filesystem::exists(platform::MakePath(path), error) && !error;
}
