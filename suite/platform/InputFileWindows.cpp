// InputFile.h on Windows.
#include <windows.h>

#include "suite/platform/DescriptorWindows.h"
#include "suite/platform/InputFile.h"
#include "suite/platform/Utf8PathWindows.h"

namespace platform {

InputResult ReadInputFile(const std::string& path, SecretString& text) {
  const UniqueHandle file(::CreateFileW(WidenUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? InputResult::kNotFound
                                                                          : InputResult::kFailed;
  }
  constexpr DWORD kReadChunk = 64 * 1024;
  SecretString read;
  // One spare byte past the size found, so that the end is seen without
  // growing the buffer: growing copies and doubles it. The file may be a
  // pipe or grow meanwhile, so the size is only a first guess.
  LARGE_INTEGER size;
  read.resize(::GetFileSizeEx(file.get(), &size) ? static_cast<std::size_t>(size.QuadPart) + 1
                                                  : kReadChunk);
  std::size_t used = 0;
  for (;;) {
    if (used == read.size()) read.resize(2 * read.size());
    const std::size_t room = read.size() - used;
    const DWORD want = room < kReadChunk ? static_cast<DWORD>(room) : kReadChunk;
    DWORD got = 0;
    if (!::ReadFile(file.get(), read.data() + used, want, &got, nullptr)) {
      if (::GetLastError() == ERROR_BROKEN_PIPE) break;
      return InputResult::kFailed;
    }
    if (got == 0) break;
    used += got;
  }
  read.resize(used);
  text.swap(read);
  return InputResult::kOk;
}

}  // namespace platform
