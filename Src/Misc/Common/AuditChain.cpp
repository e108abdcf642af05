#include "Src/Misc/Common/AuditChain.h"

#include <string_view>

#include "Src/Misc/Common/AuditEntry.h"

namespace {

struct Line {
  bool whole = false;
  AuditEntry entry;
  std::string canonical;
};

void Fail(ChainReport& report, std::uint64_t seq, const char* reason) {
  if (!report.ok) return;
  report.ok = false;
  report.first_bad = seq;
  report.reason = reason;
}

}  // namespace

ChainReport CheckAuditChain(const std::vector<std::string>& texts,
                            const std::vector<unsigned char>& key) {
  std::vector<Line> lines;
  for (const std::string& text : texts) {
    std::size_t from = 0;
    while (from < text.size()) {
      std::size_t end = text.find('\n', from);
      if (end == std::string::npos) end = text.size();
      Line line;
      line.whole = ParseAuditLine(std::string_view(text).substr(from, end - from), line.entry,
                                  line.canonical);
      lines.push_back(std::move(line));
      from = end + 1;
    }
  }
  ChainReport report;
  bool started = false;
  std::uint64_t expected = 0;
  std::string prev;
  bool torn = false;
  for (std::size_t at = 0; at < lines.size(); ++at) {
    const Line& line = lines[at];
    if (!line.whole) {
      torn = true;
      continue;
    }
    ++report.entries;
    const AuditEntry& entry = line.entry;
    const bool genuine =
        key.size() == kAuditKeySize &&
        ComputeAuditMac(key.data(), entry.prev, line.canonical) == entry.mac;
    if (!started) {
      started = true;
      report.first_seq = entry.seq;
      // The first line of a new log, and only it, comes after no line.
      if (!genuine || (entry.seq == 1) != (entry.prev == kAuditNoPrev)) {
        Fail(report, entry.seq, "forged");
      }
    } else if (!genuine) {
      Fail(report, entry.seq, entry.seq == expected && entry.prev == prev ? "edited" : "forged");
    } else if (entry.seq != expected || entry.prev != prev) {
      // A later line holding the seq expected here was moved; none: removed.
      bool later = false;
      for (std::size_t next = at + 1; next < lines.size(); ++next) {
        later = later || (lines[next].whole && lines[next].entry.seq == expected);
      }
      Fail(report, entry.seq, later || entry.seq < expected ? "out of order" : "removed");
    }
    expected = entry.seq + 1;
    prev = entry.mac;
    report.last_seq = entry.seq;
    report.last_mac = entry.mac;
  }
  if (report.ok && torn) report.reason = "torn";
  return report;
}
