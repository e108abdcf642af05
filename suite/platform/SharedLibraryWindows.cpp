// SharedLibrary.h on Windows: LoadLibraryW and GetProcAddress.
#include <windows.h>

#include "suite/platform/SharedLibrary.h"
#include "suite/platform/Utf8PathWindows.h"

namespace platform {
namespace {

std::string DescribeLastError() {
  const DWORD code = GetLastError();
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                     FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = text != nullptr ? text : "error " + std::to_string(code);
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
  return reason;
}

}  // namespace

const char SharedLibrary::kFileSuffix[] = ".dll";

SharedLibrary::~SharedLibrary() {
  if (handle != nullptr && !kept) FreeLibrary(static_cast<HMODULE>(handle));
}

bool SharedLibrary::Open(const std::string& path, std::string& error) {
  handle = LoadLibraryW(WidenUtf8(path).c_str());
  if (handle == nullptr) error = DescribeLastError();
  return handle != nullptr;
}

void* SharedLibrary::FindSymbol(const char* symbol, std::string& error) const {
  void* address =
      reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), symbol));
  if (address == nullptr) error = DescribeLastError();
  return address;
}

}  // namespace platform
