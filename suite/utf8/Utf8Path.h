// Text inside the suite is UTF-8: paths from the configuration file, the
// command line and the system all travel as UTF-8 std::string. On Windows
// they become UTF-16 only at the system call (the ANSI code page would
// garble every character outside it); elsewhere these helpers pass through.
#ifndef SUITE_UTF8_UTF8PATH_H_
#define SUITE_UTF8_UTF8PATH_H_

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <string>

#include <boost/filesystem/path.hpp>

namespace utf8 {

#if defined(_WIN32)

// Invalid UTF-8 gives an empty string, which every system call refuses.
inline std::wstring WidenUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), size);
  return wide;
}

inline std::string NarrowToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string narrow(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        size, nullptr, nullptr);
  return narrow;
}

inline boost::filesystem::path MakePath(const std::string& text) {
  return boost::filesystem::path(WidenUtf8(text));
}

inline std::string PathToUtf8(const boost::filesystem::path& path) {
  return NarrowToUtf8(path.wstring());
}

// For the standard streams and std::filesystem.
inline std::filesystem::path MakeStdPath(const std::string& text) {
  return std::filesystem::path(WidenUtf8(text));
}

// A file name in the form the system's own calls take (UTF-16 here), for
// libraries built with wide file names, such as the logger's spdlog.
inline std::wstring MakeNativeName(const std::string& text) { return WidenUtf8(text); }

// The variable's value; empty when it is unset.
inline std::string GetEnvironment(const char* name) {
  const wchar_t* value = ::_wgetenv(WidenUtf8(name).c_str());
  return value != nullptr ? NarrowToUtf8(value) : std::string();
}

#else

inline boost::filesystem::path MakePath(const std::string& text) { return text; }

inline std::string PathToUtf8(const boost::filesystem::path& path) { return path.string(); }

inline std::filesystem::path MakeStdPath(const std::string& text) { return text; }

inline std::string MakeNativeName(const std::string& text) { return text; }

inline std::string GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : std::string();
}

#endif

}  // namespace utf8

#endif  // SUITE_UTF8_UTF8PATH_H_
