// SystemPlaces.h on Windows: the configuration and the logs in
// %ProgramData%\kelvox, the user's state in %LOCALAPPDATA%\kelvox.
#include <windows.h>
// windows.h first: the shell's headers need its types.
#include <knownfolders.h>
#include <shlobj.h>

#include "suite/platform/SystemPlaces.h"
#include "suite/platform/Utf8Path.h"
#include "suite/platform/Utf8PathWindows.h"

namespace platform {
namespace {

constexpr char kSuiteFolder[] = "\\kelvox";
constexpr char kConfigFile[] = "\\global.config";
constexpr char kLogFile[] = "\\logs\\kelvox.log";
constexpr char kUserLogFile[] = "\\kelvox\\kelvox.log";
constexpr char kUserHostKey[] = "\\kelvox\\host.key";
constexpr char kSshHostKey[] = "\\ssh\\ssh_host_ed25519_key";

// The machine-wide data folder (%ProgramData%) from the shell, not from the
// environment, which the caller controls; empty when the shell has none.
std::string GetProgramDataFolder() {
  PWSTR folder = nullptr;
  std::string found;
  if (SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DEFAULT, nullptr, &folder) == S_OK) {
    found = NarrowToUtf8(folder);
  }
  // Freed whether or not the call succeeded, as the shell asks.
  CoTaskMemFree(folder);
  return found;
}

// The user's state folder: their local application data.
std::string UserStateFolder() { return GetEnvironment("LOCALAPPDATA"); }

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
  const std::string state = UserStateFolder();
  return state.empty() ? std::string() : state + kUserLogFile;
}

std::string DefaultHostKeyPath() {
  const std::string state = UserStateFolder();
  return state.empty() ? std::string() : state + kUserHostKey;
}

// OpenSSH for Windows keeps its host keys in %ProgramData%\ssh.
std::string DefaultSshHostKeyPath() {
  const std::string data = GetProgramDataFolder();
  return data.empty() ? std::string() : data + kSshHostKey;
}

}  // namespace platform
