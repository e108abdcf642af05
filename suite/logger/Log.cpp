#include "host/Log.h"

#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <filesystem>

#include "host/GlobalConfig.h"
#include "host/KelvoxDirectory.h"
#include "suite/platform/LogFile.h"
#include "suite/platform/OwnerOnly.h"
#include "suite/platform/Utf8Path.h"

namespace ZUdurov {
namespace {

constexpr unsigned kDefaultMinLevel = 3;
constexpr int kLevelUnset = -1;
constexpr char kPattern[] = "%Y-%m-%d %H:%M:%S.%e %v";
// The same bytes on every platform, so one reader serves every log file.
constexpr char kLineEnd[] = "\n";
// Every record starts with its date and time, "2026-12-07 19:25:36": the
// shape an existing file must start with to be appended to.
constexpr char kRecordStart[] = "0000-00-00 00:00:00";
constexpr std::size_t kRecordStartSize = sizeof(kRecordStart) - 1;

// True when `head`, the first bytes of a file, is empty or starts as a
// record of ours does: a key, a store, the configuration or a policy file
// never does, so whatever LOG_FILE names, none is ever appended to.
bool LooksLikeLog(const std::string& head) {
  if (head.empty()) return true;
  if (head.size() < kRecordStartSize) return false;
  for (std::size_t at = 0; at < kRecordStartSize; ++at) {
    const bool digit = head[at] >= '0' && head[at] <= '9';
    if (kRecordStart[at] == '0' ? !digit : head[at] != kRecordStart[at]) return false;
  }
  return true;
}

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

// Writes each record to the log file in one append as it is made: nothing
// waits in a buffer, as when every record was flushed.
class LogFileSink : public spdlog::sinks::base_sink<std::mutex> {
 public:
  [[nodiscard]] bool Open(const std::string& path, std::string& refusal) {
    if (!file.Open(path, refusal)) return false;
    std::string head;
    if (!file.ReadHead(kRecordStartSize, head) || !LooksLikeLog(head)) {
      refusal = "it holds something else than a log of ours; nothing is appended to it";
      return false;
    }
    return true;
  }

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override {
    spdlog::memory_buf_t formatted;
    formatter_->format(message, formatted);
    // A full disk must not take the command down.
    static_cast<void>(file.Append(formatted.data(), formatted.size()));
  }
  void flush_() override {}

 private:
  platform::LogFile file;
};

std::mutex notes_mutex;
std::vector<std::string> notes;  // made and not yet taken (Log::TakeNotes)

// The logs refused so far, each told once on standard error.
std::set<std::string> refused_logs;

// Opens `path` for appending; null when it cannot be opened or is refused
// (a refusal is told once on standard error; the caller goes on as for a
// file that cannot be opened). Logging must never fail the caller, so
// every error ends here.
// REQUIRES: sink_mutex held.
std::shared_ptr<spdlog::logger> OpenSink(const std::string& path) {
  if (path.empty()) return nullptr;
  try {
    // The log names stores, files and what failed, so it is its owner's
    // alone: the folders and the file the logger makes are owner-only.
    // Failures are left for the sink's opening to find.
    const std::filesystem::path parent = platform::MakePath(path).parent_path();
    if (!parent.empty()) {
      static_cast<void>(platform::MakeOwnerOnlyFolders(platform::PathToUtf8(parent)));
    }
    static_cast<void>(platform::CreateOwnerOnlyFile(path));
    auto file = std::make_shared<LogFileSink>();
    std::string refusal;
    if (!file->Open(path, refusal)) {
      if (!refusal.empty() && refused_logs.insert(path).second) {
        std::cerr << "kelvox: the log " << path << " is not used: " << refusal << ".\n";
      }
      return nullptr;
    }
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

std::vector<std::string> Log::TakeNotes() {
  std::lock_guard<std::mutex> lock(notes_mutex);
  std::vector<std::string> taken;
  taken.swap(notes);
  return taken;
}

Log::Log(unsigned level, const char* file, int line) : level(level), file(file), line(line) {}

Log::Log(unsigned level, const char* file, int line, bool note)
    : level(level), file(file), line(line), note(note) {}

Log::~Log() {
  if (note) {
    try {
      std::lock_guard<std::mutex> lock(notes_mutex);
      notes.push_back(text.str());
    } catch (...) {
      // Memory exhausted: the note is lost, the command goes on.
    }
  }
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
