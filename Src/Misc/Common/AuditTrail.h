// The one place the commands record their acts in the audit log
// (AuditLog.h): a reveal before the value is handed out, a change once it
// is durable, each with its outcome. A line that cannot be written is
// logged; with AUDIT_REQUIRED=yes a reveal then fails closed, as it does
// when AUDIT_LOG=off turns the audit off.
#ifndef SRC_MISC_COMMON_AUDITTRAIL_H_
#define SRC_MISC_COMMON_AUDITTRAIL_H_

#include <cstdint>
#include <string>
#include <vector>

struct AuditAct {
  std::string command;  // "get", "hostkey rotate", ...
  std::string store;
  std::vector<std::string> keys;  // names only
  std::string unit;
  std::string key_id;
};

// Records `act` with the outcome `code`. False, logged, when no line was written.
bool RecordAct(const AuditAct& act, std::uint32_t code);

// Records a reveal of `act` about to succeed: ERR_SUCCEED when the value
// may go out, ERR_WRITE_FILE (said on the console) when AUDIT_REQUIRED=yes
// and the line was not written.
[[nodiscard]] std::uint32_t RecordReveal(const AuditAct& act);

// True for the commands (and hostkey's actions) whose runs are recorded.
[[nodiscard]] bool IsAuditedCommand(const std::string& command);

#endif  // SRC_MISC_COMMON_AUDITTRAIL_H_
