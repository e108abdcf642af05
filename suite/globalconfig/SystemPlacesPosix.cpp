#include "suite/globalconfig/SystemPlaces.h"

#include <boost/filesystem.hpp>

#include "suite/utf8/Utf8Path.h"

namespace ZUdurov {
namespace system_places {
namespace {

constexpr char kConfigInPrefix[] = "etc/kelvox/global.config";
constexpr char kSystemConfig[] = "/etc/kelvox/global.config";
constexpr char kLogBesideProgram[] = "logs/kelvox.log";

}  // namespace

// A program installed as PREFIX/bin/kelvox reads PREFIX/etc/kelvox first, so
// a `cmake --install --prefix DIR` tree works on its own; the /usr prefix
// keeps its configuration in /etc, which comes next anyway.
std::vector<std::string> GetConfigFiles(const std::string& program_folder) {
  std::vector<std::string> files;
  const boost::filesystem::path folder(program_folder);
  const boost::filesystem::path prefix = folder.parent_path();
  if (folder.filename() == "bin" && !prefix.empty() && prefix != "/usr" && prefix != "/") {
    files.push_back((prefix / kConfigInPrefix).string());
  }
  files.emplace_back(kSystemConfig);
  return files;
}

std::string GetDefaultLogFile(const std::string& program_folder) {
  return (boost::filesystem::path(program_folder) / kLogBesideProgram).string();
}

std::string GetUserLogFile() {
  const std::string state = utf8::GetEnvironment("XDG_STATE_HOME");
  if (!state.empty()) return state + "/kelvox/kelvox.log";
  const std::string home = utf8::GetEnvironment("HOME");
  if (!home.empty()) return home + "/.local/state/kelvox/kelvox.log";
  return {};
}

}  // namespace system_places
}  // namespace ZUdurov
