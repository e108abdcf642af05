// PluginLibrary.h on POSIX systems: dlopen and dlsym.
#if !defined(_WIN32)
#include <dlfcn.h>

#include "suite/kelvox/PluginLibrary.h"

const char PluginLibrary::kFileSuffix[] = ".so";

PluginLibrary::~PluginLibrary() {
  if (handle != nullptr) dlclose(handle);
}

bool PluginLibrary::Open(const std::string& path, std::string& error) {
  handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unknown loader error";
  }
  return handle != nullptr;
}

void* PluginLibrary::FindSymbol(const char* symbol, std::string& error) const {
  dlerror();
  void* address = dlsym(handle, symbol);
  if (address == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "symbol is null";
  }
  return address;
}

#endif  // !_WIN32
