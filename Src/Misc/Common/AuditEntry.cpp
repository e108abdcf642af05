#include "Src/Misc/Common/AuditEntry.h"

#include <sodium.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "Src/Misc/Common/JsonWriter.h"
#include "Src/Misc/Common/KeyText.h"
#include "suite/jsontext/JsonText.h"

namespace {

constexpr char kMacMember[] = ",\"mac\":\"";
constexpr std::size_t kMacHexSize = 2 * kAuditKeySize;

// Gathers the members of one flat audit object (with its "keys" array and
// "outcome" object) as the log writes them.
class EntryReader : public jsontext::Events {
 public:
  explicit EntryReader(AuditEntry& entry) : entry(entry) {}

  void BeginObject() override {
    // A name that is not UTF-8 is written as {"hex": ...}.
    if (++depth > 3) bad = true;
  }
  void BeginArray() override {
    if (++depth != 2 || member != "keys") bad = true;
  }
  void End() override { --depth; }
  void Key(std::string_view name) override {
    if (depth == 1) member = name;
    inner = name;
  }
  void String(std::string_view text) override {
    const std::string value(text);
    if (depth == 2 && member == "keys") {
      entry.keys.push_back(value);
    } else if (depth == 2) {
      if (inner == "name") entry.outcome_name = value;
    } else if (member == "time") {
      entry.time = value;
    } else if (member == "host") {
      entry.host = value;
    } else if (member == "uid") {
      entry.uid = value;
    } else if (member == "user") {
      entry.user = value;
    } else if (member == "command") {
      entry.command = value;
    } else if (member == "store") {
      entry.store = value;
    } else if (member == "unit") {
      entry.unit = value;
    } else if (member == "key_id") {
      entry.key_id = value;
    } else if (member == "prev") {
      entry.prev = value;
    }
  }
  void Number(std::string_view text) override {
    const std::uint64_t value = std::strtoull(std::string(text).c_str(), nullptr, 10);
    if (depth == 2 && inner == "code") {
      entry.outcome_code = static_cast<std::uint32_t>(value);
    } else if (member == "seq") {
      entry.seq = value;
      has_seq = true;
    } else if (member == "pid") {
      entry.pid = static_cast<std::uint32_t>(value);
    }
  }
  void Literal(std::string_view) override { bad = true; }

  bool bad = false;
  bool has_seq = false;

 private:
  AuditEntry& entry;
  int depth = 0;
  std::string member;
  std::string inner;
};

bool IsHex(std::string_view text) {
  return text.find_first_not_of(kHexDigits) == std::string_view::npos;
}

}  // namespace

std::string FormatAuditCanonical(const AuditEntry& entry) {
  std::string out;
  JsonWriter json(&out, JsonWriter::Spacing::kCompact);
  json.BeginObject();
  json.Key("seq");
  json.Number(entry.seq);
  json.Key("time");
  json.String(entry.time);
  json.Key("host");
  json.Text(entry.host);
  json.Key("uid");
  json.Text(entry.uid);
  json.Key("user");
  json.Text(entry.user);
  json.Key("pid");
  json.Number(entry.pid);
  json.Key("command");
  json.String(entry.command);
  json.Key("store");
  json.Text(entry.store);
  json.Key("keys");
  json.BeginArray();
  for (const std::string& key : entry.keys) json.Text(key);
  json.End();
  json.Key("unit");
  json.Text(entry.unit);
  json.Key("key_id");
  json.String(entry.key_id);
  json.Key("outcome");
  json.BeginObject();
  json.Key("code");
  json.Number(entry.outcome_code);
  json.Key("name");
  json.String(entry.outcome_name);
  json.End();
  json.Key("prev");
  json.String(entry.prev);
  json.End();
  return out;
}

std::string ComputeAuditMac(const unsigned char* key, std::string_view prev,
                            std::string_view canonical) {
  crypto_auth_hmacsha256_state state;
  crypto_auth_hmacsha256_init(&state, key, kAuditKeySize);
  crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(prev.data()),
                                prev.size());
  crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(canonical.data()),
                                canonical.size());
  unsigned char mac[crypto_auth_hmacsha256_BYTES];
  crypto_auth_hmacsha256_final(&state, mac);
  std::string hex(kMacHexSize + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), mac, sizeof(mac));
  hex.resize(kMacHexSize);
  return hex;
}

std::string FormatAuditLine(const AuditEntry& entry) {
  std::string line = FormatAuditCanonical(entry);
  line.pop_back();  // the closing brace
  line += kMacMember;
  line += entry.mac;
  line += "\"}\n";
  return line;
}

bool ParseAuditLine(std::string_view line, AuditEntry& entry, std::string& canonical) {
  constexpr std::size_t kTail = sizeof(kMacMember) - 1 + kMacHexSize + 2;
  if (line.size() < kTail + 2 || line.substr(line.size() - 2) != "\"}") return false;
  const std::size_t at = line.size() - kTail;
  if (line.substr(at, sizeof(kMacMember) - 1) != kMacMember) return false;
  const std::string_view mac = line.substr(at + sizeof(kMacMember) - 1, kMacHexSize);
  if (!IsHex(mac)) return false;
  canonical.assign(line.substr(0, at));
  canonical += '}';
  AuditEntry read;
  EntryReader reader(read);
  std::string text = canonical;
  const jsontext::Reading reading = jsontext::Read(text.data(), text.size(), reader);
  if (reading.fault != jsontext::Fault::kNone || reader.bad || !reader.has_seq) return false;
  read.mac.assign(mac);
  entry = std::move(read);
  return true;
}

std::string FormatAuditTime() {
  using std::chrono::milliseconds;
  const auto now = std::chrono::floor<milliseconds>(std::chrono::system_clock::now());
  const auto day = std::chrono::floor<std::chrono::days>(now);
  const std::chrono::year_month_day date(day);
  const std::chrono::hh_mm_ss<milliseconds> clock(now - day);
  char text[32];
  std::snprintf(text, sizeof(text), "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()),
                static_cast<int>(clock.subseconds().count()));
  return text;
}
