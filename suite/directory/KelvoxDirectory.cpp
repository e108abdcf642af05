#include "host/KelvoxDirectory.h"

#include <boost/filesystem.hpp>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <string>
#include <vector>

#include "suite/utf8/Utf8Path.h"

namespace {

// The running executable's full path, from the operating system.
boost::filesystem::path GetExecutablePath() {
#if defined(_WIN32)
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return boost::filesystem::path(std::wstring(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
#else
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) {
      return boost::filesystem::path(std::string(buffer.data(), static_cast<size_t>(length)));
    }
    buffer.resize(buffer.size() * 2);
  }
#endif
}

}  // namespace

std::string KelvoxDirectory::GetExeDirectory() {
  return utf8::PathToUtf8(GetExecutablePath().parent_path());
}

std::string KelvoxDirectory::GetExePath(const std::string& name) {
  const boost::filesystem::path given = utf8::MakePath(name);
  // An absolute name, and on Windows one rooted in a drive ("D:x") or in the
  // current drive ("\x"), lies outside the program directory: returned as
  // written, for the system to resolve. Joining would make a path that does
  // not exist.
  if (given.has_root_path()) return name;
  return utf8::PathToUtf8(utf8::MakePath(GetExeDirectory()) / given);
}
