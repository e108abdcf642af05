#include "host/Log.h"

#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>

#include <boost/filesystem.hpp>

#include "host/GlobalConfig.h"
#include "host/KelvoxDirectory.h"
#include "suite/platform/OwnerOnly.h"
#include "suite/utf8/Utf8Path.h"

namespace ZUdurov {
namespace {

constexpr unsigned kDefaultMinLevel = 3;
constexpr int kLevelUnset = -1;
constexpr char kPattern[] = "%Y-%m-%d %H:%M:%S.%e %v";
// The same bytes on every platform, so one reader serves every log file.
constexpr char kLineEnd[] = "\n";

std::atomic<int> min_level{kLevelUnset};

std::mutex sink_mutex;
bool sink_opened = false;
std::shared_ptr<spdlog::logger> sink;
std::string sink_path;  // the file `sink` writes to

const char* LevelName(unsigned level) {
  switch (level) {
    case 0:
    case 1: return "ERROR";
    case 2: return "WARN ";
    case 3: return "INFO ";
    default: return "TRACE";
  }
}

// Opens `path` for appending; null when it cannot be opened. Logging must
// never fail the caller, so every error ends here.
std::shared_ptr<spdlog::logger> OpenSink(const std::string& path) {
  if (path.empty()) return nullptr;
  try {
    // The log names stores, files and what failed, so it is its owner's
    // alone: the folders and the file the logger makes are owner-only.
    // Failures are left for the sink's opening to find.
    const boost::filesystem::path parent = utf8::MakePath(path).parent_path();
    if (!parent.empty()) {
      static_cast<void>(platform::MakeOwnerOnlyFolders(utf8::PathToUtf8(parent)));
    }
    static_cast<void>(platform::CreateOwnerOnlyFile(path));
    // On Windows spdlog is built with wide file names: UTF-16, as every path.
    auto file =
        std::make_shared<spdlog::sinks::basic_file_sink_mt>(utf8::MakeNativeName(path));
    auto logger = std::make_shared<spdlog::logger>("kelvox", std::move(file));
    logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(
        kPattern, spdlog::pattern_time_type::local, kLineEnd));
    logger->set_level(spdlog::level::trace);
    logger->flush_on(spdlog::level::trace);
    return logger;
  } catch (const std::exception&) {
    return nullptr;
  }
}

void OpenConfiguredSinkLocked() {
  if (sink_opened) return;
  sink_opened = true;
  std::string configured;
  if (GlobalConfig::GetConfigItem("LOG_FILE", configured) != GlobalConfig::kOk) {
    configured = GlobalConfig::GetDefaultLogFile();
  }
  sink_path = KelvoxDirectory::GetExePath(configured);
  sink = OpenSink(sink_path);
  if (!sink) sink = OpenSink(sink_path = GlobalConfig::GetUserLogFile());
}

unsigned ReadConfiguredLevel() {
  std::string text;
  if (GlobalConfig::GetConfigItem("LOG_LEVEL", text) != GlobalConfig::kOk) return kDefaultMinLevel;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || value > 1000) return kDefaultMinLevel;
  return static_cast<unsigned>(value);
}

}  // namespace

unsigned Log::GetMinLogLevel() {
  int level = min_level.load(std::memory_order_relaxed);
  if (level == kLevelUnset) {
    int expected = kLevelUnset;
    min_level.compare_exchange_strong(expected, static_cast<int>(ReadConfiguredLevel()));
    level = min_level.load();
  }
  return static_cast<unsigned>(level);
}

void Log::SetMinLogLevel(unsigned level) { min_level.store(static_cast<int>(level)); }

void Log::SetLogFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(sink_mutex);
  sink_opened = true;
  sink = OpenSink(path);
  sink_path = path;
}

std::string Log::GetLogFilePath() {
  std::lock_guard<std::mutex> lock(sink_mutex);
  OpenConfiguredSinkLocked();
  return sink ? sink_path : std::string();
}

void Log::Flush() {
  std::lock_guard<std::mutex> lock(sink_mutex);
  if (sink) sink->flush();
}

Log::Log(unsigned level, const char* file, int line) : level(level), file(file), line(line) {}

Log::~Log() {
  if (level > GetMinLogLevel()) return;
  std::shared_ptr<spdlog::logger> target;
  {
    std::lock_guard<std::mutex> lock(sink_mutex);
    OpenConfiguredSinkLocked();
    target = sink;
  }
  if (!target) return;
  try {
    target->info("{} {}:{} {}", LevelName(level), file != nullptr ? file : "?", line,
                 text.str());
  } catch (...) {
    // A full disk or a closed file must not take the command down.
  }
}

std::ostringstream& Log::Stream() { return text; }

}  // namespace ZUdurov
