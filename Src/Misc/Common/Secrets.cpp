#include "Src/Misc/Common/Secrets.h"

#include <boost/filesystem.hpp>

#include "suite/utf8/Utf8Path.h"

bool EntryExists(const std::string& path) {
  boost::system::error_code error;
  return boost::filesystem::exists(utf8::MakePath(path), error) && !error;
}
