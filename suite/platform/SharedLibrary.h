// A shared library loaded while the program runs (a command's plug-in, the
// TPM's software stack), and unloaded when this object goes out of scope
// unless it is kept loaded. SharedLibraryPosix.cpp wraps
// dlopen and dlsym, SharedLibraryWindows.cpp LoadLibraryW and
// GetProcAddress.
#ifndef SUITE_PLATFORM_SHAREDLIBRARY_H_
#define SUITE_PLATFORM_SHAREDLIBRARY_H_

#include <string>

namespace platform {

class SharedLibrary {
 public:
  // The file-name ending of a shared library on this system.
  static const char kFileSuffix[];

  SharedLibrary() = default;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  ~SharedLibrary();

  // Loads the library at `path` (UTF-8). On failure returns false and
  // stores the loader's reason in `error`.
  [[nodiscard]] bool Open(const std::string& path, std::string& error);

  // The address of the exported `symbol`, or null with the reason in `error`.
  [[nodiscard]] void* FindSymbol(const char* symbol, std::string& error) const;

  // Keeps the library loaded for the life of the process: this object no
  // longer unloads it, so the library's own clean-up stays out of the run
  // until the process exits.
  void KeepLoaded() { kept = true; }

 private:
  void* handle = nullptr;
  bool kept = false;
};

}  // namespace platform

#endif  // SUITE_PLATFORM_SHAREDLIBRARY_H_
