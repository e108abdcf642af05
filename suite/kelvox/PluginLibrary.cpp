// What the plug-in search shares on every system; the loader itself is in
// PluginLibraryPosix.cpp and PluginLibraryWindows.cpp.
#include "suite/kelvox/PluginLibrary.h"

#include <boost/filesystem.hpp>

#include "host/KelvoxDirectory.h"
#include "suite/utf8/Utf8Path.h"

std::string GetPluginFileName(const std::string& command) {
  return "kelvox_" + command + PluginLibrary::kFileSuffix;
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
