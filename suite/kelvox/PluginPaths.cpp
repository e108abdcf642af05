#include "suite/kelvox/PluginPaths.h"

#include <boost/filesystem.hpp>

#include "host/KelvoxDirectory.h"
#include "suite/platform/SharedLibrary.h"
#include "suite/platform/Utf8Path.h"

std::string GetPluginFileName(const std::string& command) {
  return "kelvox_" + command + platform::SharedLibrary::kFileSuffix;
}

std::vector<std::string> GetPluginPaths(const std::string& command) {
  const boost::filesystem::path program_dir =
      platform::MakePath(KelvoxDirectory::GetExeDirectory());
  const std::string file = GetPluginFileName(command);
  const boost::filesystem::path private_dir =
      (program_dir / KELVOX_PLUGIN_DIR_FROM_PROGRAM).lexically_normal();
  return {platform::PathToUtf8(private_dir / file), platform::PathToUtf8(program_dir / file)};
}

std::string FindPluginPath(const std::string& command) {
  for (const std::string& path : GetPluginPaths(command)) {
    boost::system::error_code error;
    if (boost::filesystem::exists(platform::MakePath(path), error)) return path;
  }
  return {};
}
