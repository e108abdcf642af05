#include "host/GlobalConfig.h"

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>

#include "host/KelvoxDirectory.h"
#include "suite/globalconfig/ConfigGeneration.h"
#include "suite/globalconfig/KnownKeys.h"
#include "suite/platform/SystemPlaces.h"
#include "suite/platform/TrustedPath.h"
#include "suite/platform/Utf8Path.h"

namespace ZUdurov {
namespace {

constexpr char kConfigEnvironment[] = "KELVOX_GLOBAL_CONFIG";
constexpr char kConfigFileName[] = "global.config";

// What one read of the configuration file produced.
struct Loaded {
  bool done = false;
  int status = GlobalConfig::kOk;
  std::string path;
  boost::property_tree::ptree tree;
};

std::mutex loaded_mutex;
std::atomic<unsigned long> generation{0};
Loaded loaded;

// The configuration file to read; `named` tells it came from the
// environment, so its absence is a mistake to report, not a default to take.
std::string FindConfigFile(bool& named) {
  named = false;
  if (std::string file = platform::GetEnvironment(kConfigEnvironment); !file.empty()) {
    named = true;
    return file;
  }
  std::error_code error;
  const std::string program_folder = KelvoxDirectory::GetExeDirectory();
  const std::filesystem::path beside = platform::MakePath(program_folder) / kConfigFileName;
  if (std::filesystem::exists(beside, error)) return platform::PathToUtf8(beside);
  for (const std::string& file : platform::GetConfigFiles(program_folder)) {
    if (std::filesystem::exists(platform::MakePath(file), error)) return file;
  }
  return {};
}

// Reads the file once; a broken file is reported here, once, since no
// logger can carry it (the logger itself is configured from this file).
void LoadLocked() {
  if (loaded.done) return;
  loaded.done = true;
  bool named = false;
  loaded.path = FindConfigFile(named);
  if (loaded.path.empty()) {
    loaded.status = GlobalConfig::kNoFile;
    return;
  }
  // It names the stores, the host key, the log and the costs: a file that
  // someone else could have written is not read at all.
  if (const platform::FileResult trusted =
          platform::CheckTrustedPath(loaded.path, platform::LastLink::kFollowed);
      trusted == platform::FileResult::kUntrusted) {
    loaded.status = GlobalConfig::kUnreadable;
    std::cerr << "kelvox: the configuration file is not used: " << trusted.GetReason()
              << "; make it and its folders root's or yours, and writable by no one else\n";
    return;
  }
  errno = 0;
  std::ifstream stream(platform::MakePath(loaded.path));
  if (!stream) {
    const int reason = errno;
    std::error_code error;
    const bool exists = std::filesystem::exists(platform::MakePath(loaded.path), error);
    // A file the environment names but that is not there is broken, not
    // absent: falling back to defaults would write where nobody meant to.
    loaded.status = exists  ? GlobalConfig::kUnreadable
                    : named ? GlobalConfig::kNamedFileMissing
                            : GlobalConfig::kNoFile;
    if (!exists && named) {
      std::cerr << "kelvox: " << kConfigEnvironment << " names '" << loaded.path
                << "', which does not exist; point it at your configuration file or unset it\n";
    } else if (exists) {
      std::cerr << "kelvox: cannot read configuration file '" << loaded.path << "'"
                << (reason == EACCES ? ": permission denied" : "") << "\n";
    }
    return;
  }
  try {
    boost::property_tree::read_ini(stream, loaded.tree);
  } catch (const boost::property_tree::ini_parser_error& error) {
    loaded.status = GlobalConfig::kMalformed;
    loaded.tree.clear();
    std::cerr << "kelvox: configuration file '" << loaded.path << "' line " << error.line()
              << ": " << error.message() << "\n";
    return;
  }
  for (const auto& [key, value] : loaded.tree) {
    if (!value.empty() || IsKnownKey(key)) continue;  // a [section] has children
    const std::string nearest = GetNearestKnownKey(key);
    std::cerr << "kelvox: configuration file '" << loaded.path << "': unknown key '" << key
              << "' is ignored"
              << (nearest.empty() ? std::string() : "; did you mean '" + nearest + "'?") << "\n";
  }
}

}  // namespace

int GlobalConfig::GetConfigItem(const std::string& key, std::string& value) {
  value.clear();
  std::lock_guard<std::mutex> lock(loaded_mutex);
  LoadLocked();
  if (loaded.status != kOk) return loaded.status;
  // Keys are plain names: look them up as one path element, so a dot in a
  // key is not taken for nesting.
  const auto found = loaded.tree.find(key);
  if (found == loaded.tree.not_found()) return kKeyAbsent;
  if (found->second.data().empty()) return kValueEmpty;
  value = found->second.data();
  return kOk;
}

std::string GlobalConfig::GetLoadedFile() {
  std::lock_guard<std::mutex> lock(loaded_mutex);
  LoadLocked();
  return loaded.path;
}

void GlobalConfig::Reload() {
  std::lock_guard<std::mutex> lock(loaded_mutex);
  loaded = Loaded{};
  ++generation;
}

unsigned long GetGlobalConfigGeneration() { return generation.load(); }

std::string GlobalConfig::GetDefaultLogFile() {
  return platform::GetDefaultLogFile(KelvoxDirectory::GetExeDirectory());
}

std::string GlobalConfig::GetUserLogFile() { return platform::GetUserLogFile(); }

}  // namespace ZUdurov
