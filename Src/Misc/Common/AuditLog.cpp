#include "Src/Misc/Common/AuditLog.h"

#include <sodium.h>

#include <chrono>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "Src/Misc/Common/Secrets.h"
#include "host/GlobalConfig.h"
#include "host/KelvoxDirectory.h"
#include "host/Log.h"
#include "suite/platform/FileSystem.h"
#include "suite/platform/Files.h"
#include "suite/platform/Identity.h"
#include "suite/platform/SystemPlaces.h"

namespace {

using ZUdurov::GlobalConfig;

constexpr char kKeySuffix[] = ".audit-key";
constexpr char kLockSuffix[] = ".lock";
constexpr char kLastSuffix[] = ".last";
constexpr std::size_t kLastMaxSize = 256;
// How much of the log's end is read first to find its last line; doubled
// until a whole line is in it.
constexpr std::size_t kTailStart = 16384;
// The wait for another command's append, in steps.
constexpr auto kLockStep = std::chrono::milliseconds(2);
constexpr int kLockSteps = 15000;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string HostKeyPath() {
  std::string path;
  if (GlobalConfig::GetConfigItem("ENCRYPT_HOST_KEY_PATH", path) != GlobalConfig::kOk) {
    return platform::DefaultHostKeyPath();
  }
  return KelvoxDirectory::GetExePath(path);
}

bool TakeLock(const std::string& path, platform::FileSystem& files, platform::ExclusiveLock& lock,
              std::string& reason) {
  for (int step = 0; step < kLockSteps; ++step) {
    const platform::FileResult taken = files.TakeExclusiveLock(path, lock);
    if (taken == platform::FileResult::kOk) return true;
    if (taken != platform::FileResult::kBusy) {
      reason = taken.GetReason().empty() ? "the lock " + path + " cannot be taken"
                                         : taken.GetReason();
      return false;
    }
    std::this_thread::sleep_for(kLockStep);
  }
  reason = "the lock " + path + " stayed held";
  return false;
}

// The seq and mac "<log>.last" holds into `last`; false when there is none
// or it cannot be read.
bool ReadLast(const std::string& path, platform::FileSystem& files, AuditEntry& last) {
  std::vector<unsigned char> state;
  if (files.ReadWholeFile(path + kLastSuffix, kLastMaxSize, state) != platform::FileResult::kOk) {
    return false;
  }
  const std::string text(state.begin(), state.end());
  const std::size_t blank = text.find(' ');
  if (blank == std::string::npos || text.size() < blank + 1 + 2 * kAuditKeySize) return false;
  last.seq = std::strtoull(text.c_str(), nullptr, 10);
  last.mac = text.substr(blank + 1, 2 * kAuditKeySize);
  return true;
}

// The seq and mac of the last whole line of the log at `path` into `last`;
// `torn` when the file ends inside a line. From the state file when the log
// holds no whole line (new, or just rotated).
bool FindLast(const std::string& path, platform::FileSystem& files, AuditEntry& last, bool& torn,
              std::string& reason) {
  torn = false;
  for (std::size_t count = kTailStart;; count *= 2) {
    std::vector<unsigned char> bytes;
    const platform::FileResult read = files.ReadFileTail(path, count, bytes);
    if (read == platform::FileResult::kNotFound) break;
    if (read != platform::FileResult::kOk) {
      reason = "the audit log " + path + " cannot be read" +
               (read.GetReason().empty() ? "" : ": " + read.GetReason());
      return false;
    }
    const std::string_view tail(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    torn = !tail.empty() && tail.back() != '\n';
    const std::size_t end = tail.find_last_of('\n');
    if (end != std::string::npos) {
      const std::size_t begin = end == 0 ? std::string::npos : tail.find_last_of('\n', end - 1);
      if (begin != std::string::npos || tail.size() < count) {
        const std::size_t from = begin == std::string::npos ? 0 : begin + 1;
        std::string canonical;
        if (ParseAuditLine(tail.substr(from, end - from), last, canonical)) return true;
        break;  // not a line of ours: the state file says where the chain is
      }
    }
    if (tail.size() < count) break;
  }
  if (ReadLast(path, files, last)) return true;
  if (EntryExists(path + kLastSuffix)) {
    reason = "the audit state " + path + kLastSuffix + " cannot be read";
    return false;
  }
  last.seq = 0;
  last.mac = kAuditNoPrev;
  return true;
}

// The last link is kept for the first line of a log that rotation left
// empty; the log itself holds it until then, so it is written in place and
// not synced: syncing it on every reveal would cost more than the reveal.
bool WriteLast(const std::string& path, platform::FileSystem& files, const AuditEntry& entry,
               std::string& reason) {
  const std::string text = std::to_string(entry.seq) + " " + entry.mac + "\n";
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  const platform::FileResult written = files.RewriteSmallFile(path + kLastSuffix, data, text.size());
  if (written == platform::FileResult::kOk) return true;
  reason = written.GetReason().empty() ? "writing " + path + kLastSuffix + " failed"
                                       : written.GetReason();
  return false;
}

}  // namespace

bool ReadAuditLast(const std::string& path, AuditEntry& last) {
  return ReadLast(path, platform::SystemFiles(), last);
}

std::string AuditLogPath() {
  std::string path;
  if (GlobalConfig::GetConfigItem("AUDIT_LOG", path) == GlobalConfig::kOk && !path.empty()) {
    return KelvoxDirectory::GetExePath(path);
  }
  std::string log = ZUdurov::Log::GetLogFilePath();
  if (log.empty()) log = KelvoxDirectory::GetExePath(GlobalConfig::GetDefaultLogFile());
  return FolderOf(log) + "/audit.log";
}

bool IsAuditOff() {
  std::string value;
  return GlobalConfig::GetConfigItem("AUDIT_LOG", value) == GlobalConfig::kOk && value == "off";
}

bool IsAuditRequired() {
  std::string value;
  return GlobalConfig::GetConfigItem("AUDIT_REQUIRED", value) == GlobalConfig::kOk &&
         value == "yes";
}

bool LoadAuditKey(bool create, std::vector<unsigned char>& key, std::string& reason) {
  const std::string path = HostKeyPath() + kKeySuffix;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const platform::FileResult read =
        platform::ReadSecretFile(path, kAuditKeySize, kAuditKeySize, key);
    if (read == platform::FileResult::kOk) return true;
    if (read != platform::FileResult::kNotFound || !create) {
      reason = read.GetReason().empty() ? "no audit key " + path : read.GetReason();
      return false;
    }
    if (sodium_init() < 0) {
      reason = "the random source cannot be used";
      return false;
    }
    std::vector<unsigned char> fresh(kAuditKeySize);
    const ScopedWipe wipe(fresh);
    randombytes_buf(fresh.data(), fresh.size());
    const platform::FileResult made =
        platform::CreateFileAtomically(path, fresh.data(), fresh.size(), true);
    if (made != platform::FileResult::kOk && made != platform::FileResult::kExists) {
      reason = made.GetReason();
      return false;
    }
  }
  reason = "the audit key " + path + " cannot be read";
  return false;
}

bool AppendAuditLine(const std::string& path, const std::vector<unsigned char>& key,
                     platform::FileSystem& files, AuditEntry& entry, std::string& reason) {
  platform::ExclusiveLock lock;
  if (!TakeLock(path + kLockSuffix, files, lock, reason)) return false;
  AuditEntry last;
  bool torn = false;
  if (!FindLast(path, files, last, torn, reason)) return false;
  entry.seq = last.seq + 1;
  entry.time = FormatAuditTime();
  entry.prev = last.mac;
  entry.mac = ComputeAuditMac(key.data(), entry.prev, FormatAuditCanonical(entry));
  // A torn line is ended first, in the same write, so that this one starts
  // a line of its own.
  const std::string line = (torn ? "\n" : "") + FormatAuditLine(entry);
  const platform::FileResult appended = files.AppendToFile(
      path, reinterpret_cast<const unsigned char*>(line.data()), line.size());
  if (appended != platform::FileResult::kOk) {
    reason = "the audit log " + path + " cannot be written" +
             (appended.GetReason().empty() ? "" : ": " + appended.GetReason());
    return false;
  }
  return WriteLast(path, files, entry, reason);
}

bool AppendAuditEntry(AuditEntry& entry, std::string& reason) {
  std::vector<unsigned char> key;
  const ScopedWipe wipe(key);
  if (!LoadAuditKey(true, key, reason)) return false;
  const platform::ProcessIdentity identity = platform::GetProcessIdentity();
  entry.host = identity.host;
  entry.uid = identity.uid;
  entry.user = identity.user;
  entry.pid = identity.pid;
  return AppendAuditLine(AuditLogPath(), key, platform::SystemFiles(), entry, reason);
}
