// A loaded plug-in library, unloaded when this object goes out of scope.
// PluginLibraryPosix.cpp wraps dlopen/dlsym, PluginLibraryWindows.cpp
// LoadLibraryW/GetProcAddress.
#ifndef SUITE_KELVOX_PLUGINLIBRARY_H_
#define SUITE_KELVOX_PLUGINLIBRARY_H_

#include <string>
#include <vector>

class PluginLibrary {
 public:
  // The file-name ending of a plug-in on this system.
  static const char kFileSuffix[];

  PluginLibrary() = default;
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;
  ~PluginLibrary();

  // Loads the library at `path`. On failure returns false and stores the
  // loader's reason in `error`.
  [[nodiscard]] bool Open(const std::string& path, std::string& error);

  // The address of the exported `symbol`, or null with the reason in `error`.
  [[nodiscard]] void* FindSymbol(const char* symbol, std::string& error) const;

 private:
  void* handle = nullptr;
};

// The plug-in's file name for this platform, e.g. "kelvox_encrypt.so".
std::string GetPluginFileName(const std::string& command);

// Where the host looks for the plug-in of `command`, in order: the suite's
// private folder of an installed layout (lib/kelvox beside the program's
// bin/), then beside the program (a build tree, Windows).
std::vector<std::string> GetPluginPaths(const std::string& command);

// The first of GetPluginPaths(command) that exists, or empty when none does.
std::string FindPluginPath(const std::string& command);

#endif  // SUITE_KELVOX_PLUGINLIBRARY_H_
