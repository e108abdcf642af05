#include "suite/kelvox/PluginPaths.h"

#include <filesystem>

#include "host/KelvoxDirectory.h"
#include "suite/platform/SharedLibrary.h"
#include "suite/platform/Utf8Path.h"

std::string GetPluginFileName(const std::string& command) {
  return "kelvox_" + command + platform::SharedLibrary::kFileSuffix;
}

std::vector<std::string> GetPluginPaths(const std::string& command) {
  const std::filesystem::path program_dir =
      platform::MakePath(KelvoxDirectory::GetExeDirectory());
  const std::string file = GetPluginFileName(command);
  const std::filesystem::path private_dir =
      (program_dir / KELVOX_PLUGIN_DIR_FROM_PROGRAM).lexically_normal();
  return {platform::PathToUtf8(private_dir / file), platform::PathToUtf8(program_dir / file)};
}

std::string FindPluginPath(const std::string& command) {
  for (const std::string& path : GetPluginPaths(command)) {
    std::error_code error;
    if (std::filesystem::exists(platform::MakePath(path), error)) return path;
  }
  return {};
}
