#include "Src/Misc/Encrypt/Secrets.h"

#include <sodium.h>

#include <boost/filesystem.hpp>

void WipeString(std::string& text) {
  text.resize(text.capacity());
  sodium_memzero(text.data(), text.size());
  text.clear();
}

bool EntryExists(const std::string& path) {
  boost::system::error_code error;
  return boost::filesystem::exists(boost::filesystem::path(path), error) && !error;
}
