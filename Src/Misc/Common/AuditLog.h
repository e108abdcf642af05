// The audit log: where it is (AUDIT_LOG of the configuration, by default
// audit.log beside the log in use), the audit key its macs are made with
// (32 random bytes of its own beside the host key, "<host key>.audit-key",
// owner-only, made on first need and read as the host key is read, so it
// outlives the host key's rotation and retirement), and the append of one
// line under the log's lock ("<log>.lock"). The last whole line's seq and
// mac are also kept in "<log>.last", written under the same lock, so that
// a log renamed away by rotation is continued by the next file. A line
// torn by a crash (no line end at the file's end) is ended first, and the
// chain goes on from the last whole line.
#ifndef SRC_MISC_COMMON_AUDITLOG_H_
#define SRC_MISC_COMMON_AUDITLOG_H_

#include <string>
#include <vector>

#include "Src/Misc/Common/AuditEntry.h"
#include "suite/secretmemory/SecretMemory.h"

namespace platform {
class FileSystem;
}

[[nodiscard]] std::string AuditLogPath();

// The seq and mac "<log>.last" holds for the log at `path` into `last`.
// False when there is none or it cannot be read.
[[nodiscard]] bool ReadAuditLast(const std::string& path, AuditEntry& last);

// True when AUDIT_LOG=off: no line is written.
[[nodiscard]] bool IsAuditOff();

// True when AUDIT_REQUIRED=yes: a reveal whose line was not written fails.
[[nodiscard]] bool IsAuditRequired();

// The audit key into `key` (which the caller wipes); with `create`, made
// when absent. False, with `reason` saying why, when there is none to use.
[[nodiscard]] bool LoadAuditKey(bool create, std::vector<unsigned char>& key,
                                std::string& reason);

// Appends `entry` (its host, uid, user, pid, seq, time, prev and mac filled
// in here) to the log. False, with `reason`, when the line was not written.
[[nodiscard]] bool AppendAuditEntry(AuditEntry& entry, std::string& reason);

// The append itself, to the log at `path` under `key` through `files`:
// `entry`'s seq, time, prev and mac are filled in, the line (after a line
// end closing a torn one) appended in one unsynced write, then "<log>.last"
// rewritten. A crash leaves the old log, or the old log and a torn line,
// which the next append ends and verify passes over.
[[nodiscard]] bool AppendAuditLine(const std::string& path, const std::vector<unsigned char>& key,
                                   platform::FileSystem& files, AuditEntry& entry,
                                   std::string& reason);

#endif  // SRC_MISC_COMMON_AUDITLOG_H_
