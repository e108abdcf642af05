// LogFile.h on Windows. A handle the process opens is inherited only when
// asked for: none is here, so a program started later does not get it.
// Who may write to the folder is an access list, which the owner-only
// folders and file the logger makes already restrict; a link at the name
// is opened as itself and refused.
#include <windows.h>

#include <cstdint>

#include "suite/platform/DescriptorWindows.h"
#include "suite/platform/LogFile.h"
#include "suite/platform/Utf8PathWindows.h"

namespace platform {

LogFile::~LogFile() {
  if (handle != nullptr) ::CloseHandle(static_cast<HANDLE>(handle));
}

bool LogFile::Open(const std::string& path, std::string& refusal) {
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end.
  UniqueHandle file(::CreateFileW(WidenUtf8(path).c_str(),
                                  FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!file.valid() || !::GetFileInformationByHandle(file.get(), &information)) return false;
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    refusal = "it is a symbolic link";
    return false;
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      ::GetFileType(file.get()) != FILE_TYPE_DISK) {
    refusal = "it is not a regular file";
    return false;
  }
  if (information.nNumberOfLinks != 1) {
    refusal = "the file has other names too";
    return false;
  }
  if (handle != nullptr) ::CloseHandle(static_cast<HANDLE>(handle));
  handle = file.release();
  return true;
}

bool LogFile::Append(const char* data, std::size_t size) {
  return WriteFully(static_cast<HANDLE>(handle), data, size);
}

bool LogFile::ReadHead(std::size_t count, std::string& head) {
  std::string read(count, '\0');
  OVERLAPPED from_start = {};
  DWORD got = 0;
  if (!::ReadFile(static_cast<HANDLE>(handle), read.data(), static_cast<DWORD>(read.size()), &got,
                  &from_start) &&
      ::GetLastError() != ERROR_HANDLE_EOF) {
    return false;
  }
  read.resize(got);
  head.swap(read);
  return true;
}

}  // namespace platform
