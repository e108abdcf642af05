#include "host/KelvoxDirectory.h"

#include <filesystem>

#include <string>

#include "suite/platform/Process.h"
#include "suite/platform/Utf8Path.h"

std::string KelvoxDirectory::GetExeDirectory() {
  return platform::PathToUtf8(platform::MakePath(platform::GetExecutablePath()).parent_path());
}

std::string KelvoxDirectory::GetExePath(const std::string& name) {
  const std::filesystem::path given = platform::MakePath(name);
  // An absolute name, and on Windows one rooted in a drive ("D:x") or in the
  // current drive ("\x"), lies outside the program directory: returned as
  // written, for the system to resolve. Joining would make a path that does
  // not exist.
  if (given.has_root_path()) return name;
  return platform::PathToUtf8(platform::MakePath(GetExeDirectory()) / given);
}
