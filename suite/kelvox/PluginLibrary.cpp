#include "suite/kelvox/PluginLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <boost/filesystem.hpp>

#include "host/KelvoxDirectory.h"
#include "suite/utf8/Utf8Path.h"

namespace {
#if defined(_WIN32)
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
#endif
}  // namespace

PluginLibrary::~PluginLibrary() {
  if (handle == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle));
#else
  dlclose(handle);
#endif
}

bool PluginLibrary::Open(const std::string& path, std::string& error) {
#if defined(_WIN32)
  handle = LoadLibraryW(utf8::WidenUtf8(path).c_str());
  if (handle == nullptr) error = DescribeLastError();
#else
  handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unknown loader error";
  }
#endif
  return handle != nullptr;
}

void* PluginLibrary::FindSymbol(const char* symbol, std::string& error) const {
#if defined(_WIN32)
  void* address =
      reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), symbol));
  if (address == nullptr) error = DescribeLastError();
#else
  dlerror();
  void* address = dlsym(handle, symbol);
  if (address == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "symbol is null";
  }
#endif
  return address;
}

std::string GetPluginFileName(const std::string& command) {
#if defined(_WIN32)
  return "kelvox_" + command + ".dll";
#else
  return "kelvox_" + command + ".so";
#endif
}

std::vector<std::string> GetPluginPaths(const std::string& command) {
  const boost::filesystem::path program_dir = utf8::MakePath(KelvoxDirectory::GetExeDirectory());
  const std::string file = GetPluginFileName(command);
  const boost::filesystem::path private_dir =
      (program_dir / KELVOX_PLUGIN_DIR_FROM_PROGRAM).lexically_normal();
  return {utf8::PathToUtf8(private_dir / file), utf8::PathToUtf8(program_dir / file)};
}

std::string FindPluginPath(const std::string& command) {
  for (const std::string& path : GetPluginPaths(command)) {
    boost::system::error_code error;
    if (boost::filesystem::exists(utf8::MakePath(path), error)) return path;
  }
  return {};
}
