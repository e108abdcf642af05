// PluginLibrary.h on Windows: LoadLibraryW and GetProcAddress.
#if defined(_WIN32)
#include <windows.h>

#include "suite/kelvox/PluginLibrary.h"
#include "suite/utf8/Utf8Path.h"

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

const char PluginLibrary::kFileSuffix[] = ".dll";

PluginLibrary::~PluginLibrary() {
  if (handle != nullptr) FreeLibrary(static_cast<HMODULE>(handle));
}

bool PluginLibrary::Open(const std::string& path, std::string& error) {
  handle = LoadLibraryW(utf8::WidenUtf8(path).c_str());
  if (handle == nullptr) error = DescribeLastError();
  return handle != nullptr;
}

void* PluginLibrary::FindSymbol(const char* symbol, std::string& error) const {
  void* address =
      reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), symbol));
  if (address == nullptr) error = DescribeLastError();
  return address;
}

#endif  // _WIN32
