// Utf8Path.h on Windows: UTF-8 becomes UTF-16 at the system call.
#include <windows.h>

#include <cstdlib>

#include "suite/platform/Utf8Path.h"
#include "suite/platform/Utf8PathWindows.h"

namespace platform {

std::wstring WidenUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), size);
  return wide;
}

std::string NarrowToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string narrow(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        size, nullptr, nullptr);
  return narrow;
}

std::filesystem::path MakePath(const std::string& text) {
  return std::filesystem::path(WidenUtf8(text));
}

std::string PathToUtf8(const std::filesystem::path& path) { return NarrowToUtf8(path.wstring()); }

std::string GetEnvironment(const char* name) {
  const wchar_t* value = ::_wgetenv(WidenUtf8(name).c_str());
  return value != nullptr ? NarrowToUtf8(value) : std::string();
}

}  // namespace platform
