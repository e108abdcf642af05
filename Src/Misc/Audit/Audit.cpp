#include "Src/Misc/Audit/Audit.h"

#include <algorithm>
#include <iostream>

#include "Src/Misc/Common/AuditChain.h"
#include "Src/Misc/Common/AuditEntry.h"
#include "Src/Misc/Common/AuditLog.h"
#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/JsonWriter.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "suite/platform/Files.h"
#include "suite/secretmemory/SecretMemory.h"

namespace {
// The largest audit file read.
constexpr std::size_t kMaxAuditFileSize = std::size_t{1} << 32;
}  // namespace

uint32_t AUDIT::RunCommand() {
  return context.host_list.front() == "verify" ? Verify() : Show();
}

bool AUDIT::HasFiles() const { return context.host_list.size() > 1; }

uint32_t AUDIT::ReadFiles(std::vector<std::string>& texts) const {
  // The files follow the action; none: the log.
  std::vector<std::string> files(context.host_list.begin() + 1, context.host_list.end());
  if (files.empty()) files.push_back(AuditLogPath());
  for (const std::string& file : files) {
    std::vector<unsigned char> bytes;
    const platform::FileResult read = platform::ReadWholeFile(file, kMaxAuditFileSize, bytes);
    if (read != platform::FileResult::kOk) {
      KLOG(kLevelError) << "Read audit log " << file << " error: " << read.GetReason() << ".";
      CONSOLE_MESSAGE(kLevelError) << "The audit log " << file << " cannot be read"
                                   << (read.GetReason().empty() ? "" : ": " + read.GetReason())
                                   << ".";
      return ERR_READ_FILE;
    }
    texts.emplace_back(bytes.begin(), bytes.end());
  }
  return ERR_SUCCEED;
}

uint32_t AUDIT::Verify() {
  std::vector<std::string> texts;
  if (const uint32_t code = ReadFiles(texts); code != ERR_SUCCEED) return code;
  std::vector<unsigned char> key;
  const ScopedWipe wipe(key);
  std::string reason;
  if (!LoadAuditKey(false, key, reason)) {
    CONSOLE_MESSAGE(kLevelError) << "The audit key cannot be read: " << reason << ".";
    return ERR_READ_FILE;
  }
  ChainReport report = CheckAuditChain(texts, key);
  // The log itself also answers for its end: lines cut from it leave the
  // state file ahead of it. (A crash between the line and the state file
  // leaves the state behind instead, which is no tampering.)
  AuditEntry last;
  if (report.ok && !HasFiles() && ReadAuditLast(AuditLogPath(), last) &&
      (last.seq > report.last_seq ||
       (last.seq == report.last_seq && last.mac != report.last_mac))) {
    report.ok = false;
    report.first_bad = last.seq;
    report.reason = "removed";
  }
  if (HasOption("json")) {
    std::string out;
    JsonWriter json(&out, JsonWriter::Spacing::kSpaced);
    json.BeginObject();
    json.Key("entries");
    json.Number(report.entries);
    json.Key("first_seq");
    json.Raw(report.entries == 0 ? "null" : std::to_string(report.first_seq));
    json.Key("ok");
    json.Bool(report.ok);
    json.Key("first_bad");
    json.Raw(report.first_bad ? std::to_string(*report.first_bad) : "null");
    json.Key("reason");
    json.String(report.reason);
    json.End();
    json.EndLine();
    std::cout << out;
  } else if (report.ok) {
    std::cout << report.entries << " entries, the chain holds"
              << (report.reason.empty() ? "" : " (a line torn by a crash was passed over)")
              << ".\n";
    // Lines before it were rotated into files not given (or cut away: only
    // the files that held them can tell).
    if (report.first_seq > 1) {
      std::cout << "The chain starts at entry " << report.first_seq
                << ": the earlier entries are in rotated files not given.\n";
    }
  } else {
    std::cout << "The chain breaks at seq " << *report.first_bad << ": " << report.reason
              << ".\n";
  }
  return report.ok ? ERR_SUCCEED : ERR_ENCRYPTED_FILE_INVALID;
}

uint32_t AUDIT::Show() {
  std::vector<std::string> texts;
  if (const uint32_t code = ReadFiles(texts); code != ERR_SUCCEED) return code;
  const std::string key = GetOption("key");
  const std::string command = GetOption("command");
  const std::string since = GetOption("since");
  for (const std::string& text : texts) {
    std::size_t from = 0;
    while (from < text.size()) {
      std::size_t end = text.find('\n', from);
      if (end == std::string::npos) end = text.size();
      const std::string_view line = std::string_view(text).substr(from, end - from);
      from = end + 1;
      AuditEntry entry;
      std::string canonical;
      if (!ParseAuditLine(line, entry, canonical)) continue;
      if (!key.empty() && std::find(entry.keys.begin(), entry.keys.end(), key) == entry.keys.end()) {
        continue;
      }
      if (!command.empty() && entry.command.rfind(command, 0) != 0) continue;
      if (!since.empty() && entry.time < since) continue;
      if (HasOption("json")) {
        std::cout << line << '\n';
        continue;
      }
      std::cout << entry.seq << ' ' << entry.time << ' ' << entry.user << ' ' << entry.command
                << ' ' << (entry.store.empty() ? "-" : entry.store);
      for (const std::string& name : entry.keys) std::cout << ' ' << name;
      std::cout << ' ' << entry.outcome_name << '\n';
    }
  }
  return ERR_SUCCEED;
}
