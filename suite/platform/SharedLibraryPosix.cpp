// SharedLibrary.h on POSIX systems: dlopen and dlsym.
#include <dlfcn.h>

#include "suite/platform/SharedLibrary.h"

namespace platform {

const char SharedLibrary::kFileSuffix[] = ".so";

SharedLibrary::~SharedLibrary() {
  if (handle != nullptr && !kept) dlclose(handle);
}

bool SharedLibrary::Open(const std::string& path, std::string& error) {
  handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unknown loader error";
  }
  return handle != nullptr;
}

void* SharedLibrary::FindSymbol(const char* symbol, std::string& error) const {
  dlerror();
  void* address = dlsym(handle, symbol);
  if (address == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "symbol is null";
  }
  return address;
}

}  // namespace platform
