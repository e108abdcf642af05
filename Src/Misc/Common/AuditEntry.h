// One line of the audit log: the act's fields, its canonical bytes (the
// JSON object without its "mac" member, "mac" always coming last), and the
// mac that chains it to the line before: HMAC-SHA-256 under the audit key
// over the previous line's mac (its hex text) followed by the canonical
// bytes. A line names record keys, never a value.
#ifndef SRC_MISC_COMMON_AUDITENTRY_H_
#define SRC_MISC_COMMON_AUDITENTRY_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The size of the audit key and of a mac, in bytes.
inline constexpr std::size_t kAuditKeySize = 32;
// The prev of the first line of a new log: no line came before it.
inline constexpr char kAuditNoPrev[] =
    "0000000000000000000000000000000000000000000000000000000000000000";

struct AuditEntry {
  std::uint64_t seq = 0;
  std::string time;  // UTC, RFC 3339 with milliseconds
  std::string host;
  std::string uid;
  std::string user;
  std::uint32_t pid = 0;
  std::string command;  // with the action, for a command that has actions ("hostkey rotate")
  std::string store;
  std::vector<std::string> keys;
  std::string unit;
  std::string key_id;
  std::uint32_t outcome_code = 0;
  std::string outcome_name;
  std::string prev;
  std::string mac;
};

// The entry's canonical bytes: one JSON object, without "mac", no line end.
[[nodiscard]] std::string FormatAuditCanonical(const AuditEntry& entry);

// The mac's hex text for `prev` and `canonical` under `key` (kAuditKeySize bytes).
[[nodiscard]] std::string ComputeAuditMac(const unsigned char* key, std::string_view prev,
                                          std::string_view canonical);

// The whole line: the canonical bytes with "mac" last, and a line end.
[[nodiscard]] std::string FormatAuditLine(const AuditEntry& entry);

// Reads one line (without its line end) into `entry` and its canonical
// bytes into `canonical`. False when it is not a whole line of the log.
[[nodiscard]] bool ParseAuditLine(std::string_view line, AuditEntry& entry,
                                  std::string& canonical);

// Now, as "time" shows it.
[[nodiscard]] std::string FormatAuditTime();

#endif  // SRC_MISC_COMMON_AUDITENTRY_H_
