// A shared library loaded while the program runs (a command's plug-in), and
// unloaded when this object goes out of scope. SharedLibraryPosix.cpp wraps
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

 private:
  void* handle = nullptr;
};

}  // namespace platform

#endif  // SUITE_PLATFORM_SHAREDLIBRARY_H_
