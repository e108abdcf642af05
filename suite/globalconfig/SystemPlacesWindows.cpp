#include "suite/globalconfig/SystemPlaces.h"

#include <windows.h>
// windows.h first: the shell's headers need its types.
#include <knownfolders.h>
#include <shlobj.h>

#include "suite/utf8/Utf8Path.h"

namespace ZUdurov {
namespace system_places {
namespace {

constexpr char kSuiteFolder[] = "\\kelvox";
constexpr char kConfigFile[] = "\\global.config";
constexpr char kLogFile[] = "\\logs\\kelvox.log";
constexpr char kUserLogFile[] = "\\kelvox\\kelvox.log";

// The machine-wide data folder (%ProgramData%) from the shell, not from the
// environment, which the caller controls; empty when the shell has none.
std::string GetProgramDataFolder() {
  PWSTR folder = nullptr;
  std::string found;
  if (SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DEFAULT, nullptr, &folder) == S_OK) {
    found = utf8::NarrowToUtf8(folder);
  }
  // Freed whether or not the call succeeded, as the shell asks.
  CoTaskMemFree(folder);
  return found;
}

}  // namespace

// The installer puts the configuration in %ProgramData%\kelvox, beside the
// stores, the host key and the logs it names.
std::vector<std::string> GetConfigFiles(const std::string& /*program_folder*/) {
  const std::string data = GetProgramDataFolder();
  if (data.empty()) return {};
  return {data + kSuiteFolder + kConfigFile};
}

std::string GetDefaultLogFile(const std::string& program_folder) {
  const std::string data = GetProgramDataFolder();
  if (data.empty()) return program_folder + kLogFile;
  return data + kSuiteFolder + kLogFile;
}

std::string GetUserLogFile() {
  const std::string local = utf8::GetEnvironment("LOCALAPPDATA");
  if (local.empty()) return {};
  return local + kUserLogFile;
}

}  // namespace system_places
}  // namespace ZUdurov
