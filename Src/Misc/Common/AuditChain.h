// The check of the audit log's chain: every line's mac under the audit
// key, each prev the mac of the line before, seq one more each line. Files
// given in order continue one chain (a log and the files rotation renamed
// away). A line torn by a crash, which the next append ended, is passed
// over as torn: the chain continues across it. The first line's prev is
// taken on trust, except that seq 1 must have the prev of a new log: a
// chain starting later is reported by its first seq, since the files of
// earlier lines may not have been given.
#ifndef SRC_MISC_COMMON_AUDITCHAIN_H_
#define SRC_MISC_COMMON_AUDITCHAIN_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ChainReport {
  std::uint64_t entries = 0;   // whole lines read
  std::uint64_t first_seq = 0;  // of the first whole line; 0 when none
  bool ok = true;              // the chain holds
  std::optional<std::uint64_t> first_bad;  // the seq where it broke
  // "edited", "removed", "forged", "out of order", or "torn" (with ok still
  // true when only torn lines were found); empty when all is well.
  std::string reason;
  std::uint64_t last_seq = 0;  // of the last whole line
  std::string last_mac;
};

// Checks the lines of `texts` (each a file's contents, in order) under `key`.
[[nodiscard]] ChainReport CheckAuditChain(const std::vector<std::string>& texts,
                                          const std::vector<unsigned char>& key);

#endif  // SRC_MISC_COMMON_AUDITCHAIN_H_
