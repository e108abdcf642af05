#include "host/GlobalConfig.h"

#include <boost/filesystem.hpp>
#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>

#include "host/KelvoxDirectory.h"
#include "suite/globalconfig/ConfigGeneration.h"
#include "suite/globalconfig/SystemPlaces.h"
#include "suite/utf8/Utf8Path.h"

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

std::string FindConfigFile() {
  if (std::string named = utf8::GetEnvironment(kConfigEnvironment); !named.empty()) return named;
  boost::system::error_code error;
  const std::string program_folder = KelvoxDirectory::GetExeDirectory();
  const boost::filesystem::path beside = utf8::MakePath(program_folder) / kConfigFileName;
  if (boost::filesystem::exists(beside, error)) return utf8::PathToUtf8(beside);
  for (const std::string& file : system_places::GetConfigFiles(program_folder)) {
    if (boost::filesystem::exists(utf8::MakePath(file), error)) return file;
  }
  return {};
}

// Reads the file once; a broken file is reported here, once, since no
// logger can carry it (the logger itself is configured from this file).
void LoadLocked() {
  if (loaded.done) return;
  loaded.done = true;
  loaded.path = FindConfigFile();
  if (loaded.path.empty()) {
    loaded.status = GlobalConfig::kNoFile;
    return;
  }
  std::ifstream stream(utf8::MakeStdPath(loaded.path));
  if (!stream) {
    boost::system::error_code error;
    loaded.status = boost::filesystem::exists(utf8::MakePath(loaded.path), error)
                        ? GlobalConfig::kUnreadable
                        : GlobalConfig::kNoFile;
    if (loaded.status == GlobalConfig::kUnreadable) {
      std::cerr << "kelvox: cannot read configuration file '" << loaded.path << "'\n";
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

void GlobalConfig::Reload() {
  std::lock_guard<std::mutex> lock(loaded_mutex);
  loaded = Loaded{};
  ++generation;
}

unsigned long GetGlobalConfigGeneration() { return generation.load(); }

std::string GlobalConfig::GetDefaultLogFile() {
  return system_places::GetDefaultLogFile(KelvoxDirectory::GetExeDirectory());
}

std::string GlobalConfig::GetUserLogFile() { return system_places::GetUserLogFile(); }

}  // namespace ZUdurov
