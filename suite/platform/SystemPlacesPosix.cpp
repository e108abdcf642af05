// SystemPlaces.h on POSIX systems: the configuration in /etc (or the
// installation prefix's etc), the user's state in $XDG_STATE_HOME.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include <filesystem>

#include "suite/platform/SystemPlaces.h"
#include "suite/platform/Utf8Path.h"

namespace platform {
namespace {

constexpr char kConfigInPrefix[] = "etc/kelvox/global.config";
constexpr char kSystemConfig[] = "/etc/kelvox/global.config";
constexpr char kSystemLogFolder[] = "/var/log/kelvox";
constexpr char kLogFileName[] = "/kelvox.log";
constexpr char kSystemStateFolder[] = "/var/lib/kelvox";
constexpr char kHostKeyFileName[] = "/host.key";
constexpr char kSshHostKeyPath[] = "/etc/ssh/ssh_host_ed25519_key";
constexpr char kStateInHome[] = "/.local/state";
constexpr char kUserLogFile[] = "/kelvox/kelvox.log";
constexpr char kUserHostKey[] = "/kelvox/host.key";
constexpr std::size_t kPasswdBufferSize = 16384;
constexpr uid_t kRoot = 0;

// The running user's home folder: $HOME, else the user database's entry;
// empty when neither names one.
std::string HomeFolder() {
  if (std::string home = GetEnvironment("HOME"); !home.empty()) return home;
  struct passwd entry;
  struct passwd* found = nullptr;
  std::vector<char> buffer(kPasswdBufferSize);
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return {};
}

// The user's state folder: $XDG_STATE_HOME when it is an absolute path (a
// relative one is ignored, as the base directory rules say), else
// ~/.local/state; empty when the user has no home folder.
std::string UserStateFolder() {
  if (std::string state = GetEnvironment("XDG_STATE_HOME"); !state.empty() && state[0] == '/') {
    return state;
  }
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + kStateInHome;
}

// True when the suite's system folder `folder` exists (the package made it).
bool IsSystemFolder(const char* folder) {
  struct stat status;
  return ::stat(folder, &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

// A program installed as PREFIX/bin/kelvox reads PREFIX/etc/kelvox first, so
// a `cmake --install --prefix DIR` tree works on its own; the /usr prefix
// keeps its configuration in /etc, which comes next anyway.
std::vector<std::string> GetConfigFiles(const std::string& program_folder) {
  std::vector<std::string> files;
  const std::filesystem::path folder(program_folder);
  const std::filesystem::path prefix = folder.parent_path();
  if (folder.filename() == "bin" && !prefix.empty() && prefix != "/usr" && prefix != "/") {
    files.push_back((prefix / kConfigInPrefix).string());
  }
  files.emplace_back(kSystemConfig);
  return files;
}

// The system's log folder for the administrator where the suite has one
// (the package makes it), the user's state folder otherwise; never beside
// the program, where a log would land among the programs (/usr/bin/logs).
// A run from a build tree makes no system folder.
std::string GetDefaultLogFile(const std::string& /*program_folder*/) {
  if (::geteuid() == kRoot && IsSystemFolder(kSystemLogFolder)) {
    return std::string(kSystemLogFolder) + kLogFileName;
  }
  return GetUserLogFile();
}

std::string GetUserLogFile() {
  const std::string state = UserStateFolder();
  return state.empty() ? std::string() : state + kUserLogFile;
}

// Root's key lives in the system's state folder where the package made it;
// a run from a build tree makes no system folder, and keeps root's key in
// root's own state folder, as anyone else's.
std::string DefaultHostKeyPath() {
  if (::geteuid() == kRoot && IsSystemFolder(kSystemStateFolder)) {
    return std::string(kSystemStateFolder) + kHostKeyFileName;
  }
  const std::string state = UserStateFolder();
  return state.empty() ? std::string() : state + kUserHostKey;
}

std::string DefaultSshHostKeyPath() { return kSshHostKeyPath; }

}  // namespace platform
