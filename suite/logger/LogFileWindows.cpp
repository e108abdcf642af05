// LogFile.h on Windows. A handle the process opens is inherited only when
// asked for: none is here, so a program started later does not get it.
// Who may write to the folder is an access list, which the owner-only
// folders and file the logger makes already restrict; a link at the name
// is opened as itself and refused.
#if defined(_WIN32)
#include <windows.h>

#include "suite/logger/LogFile.h"
#include "suite/utf8/Utf8Path.h"

namespace ZUdurov {
namespace {

constexpr DWORD kMaxChunk = 1u << 30;

}  // namespace

LogFile::~LogFile() {
  if (handle != nullptr) ::CloseHandle(static_cast<HANDLE>(handle));
}

bool LogFile::Open(const std::string& path, std::string& refusal) {
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end.
  const HANDLE file = ::CreateFileW(
      utf8::WidenUtf8(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  if (!::GetFileInformationByHandle(file, &information)) {
    ::CloseHandle(file);
    return false;
  }
  const char* reason = nullptr;
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    reason = "it is a symbolic link";
  } else if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
             ::GetFileType(file) != FILE_TYPE_DISK) {
    reason = "it is not a regular file";
  }
  if (reason != nullptr) {
    ::CloseHandle(file);
    refusal = reason;
    return false;
  }
  if (handle != nullptr) ::CloseHandle(static_cast<HANDLE>(handle));
  handle = file;
  return true;
}

bool LogFile::Append(const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > kMaxChunk ? kMaxChunk : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(static_cast<HANDLE>(handle), data, chunk, &written, nullptr) ||
        written == 0) {
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

}  // namespace ZUdurov

#endif  // _WIN32
