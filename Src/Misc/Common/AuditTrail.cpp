#include "Src/Misc/Common/AuditTrail.h"

#include <algorithm>
#include <iterator>

#include "Src/Misc/Common/AuditLog.h"
#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"

namespace {

// The runs the command frame records as one act each. Encrypt and import
// record each store they write (RecordWriter), serve each request.
constexpr const char* kAudited[] = {
    "get",          "decrypt",        "export",         "edit",           "exec",
    "render",       "set",            "remove",         "rekey",          "hostkey seal",
    "hostkey rotate", "hostkey retire", "hostkey restore"};

// The catalogue's name of `code`.
const char* OutcomeName(std::uint32_t code) {
#undef KELVOX_ERROR
#define KELVOX_ERROR(name, category, number, message) \
  if (code == name) return #name;
#include "errors/ErrorCatalogue.def"
#undef KELVOX_ERROR
  return "UNKNOWN";
}

}  // namespace

bool RecordAct(const AuditAct& act, std::uint32_t code) {
  if (IsAuditOff()) return false;  // as asked: nothing to log either
  AuditEntry entry;
  entry.command = act.command;
  entry.store = act.store;
  entry.keys = act.keys;
  entry.unit = act.unit;
  entry.key_id = act.key_id;
  entry.outcome_code = code;
  entry.outcome_name = OutcomeName(code);
  std::string reason;
  if (AppendAuditEntry(entry, reason)) return true;
  KLOG(kLevelError) << "The audit line of " << act.command << " was not written: " << reason
                    << ".";
  return false;
}

std::uint32_t RecordReveal(const AuditAct& act) {
  if (RecordAct(act, ERR_SUCCEED) || !IsAuditRequired()) return ERR_SUCCEED;
  if (IsAuditOff()) {
    CONSOLE_MESSAGE(kLevelError) << "AUDIT_LOG=off and AUDIT_REQUIRED=yes: nothing was handed out.";
    return ERR_WRITE_FILE;
  }
  CONSOLE_MESSAGE(kLevelError) << "The audit log " << AuditLogPath()
                               << " cannot be written, and AUDIT_REQUIRED=yes: nothing was "
                                  "handed out (the log says why).";
  return ERR_WRITE_FILE;
}

bool IsAuditedCommand(const std::string& command) {
  return std::find(std::begin(kAudited), std::end(kAudited), command) != std::end(kAudited);
}
