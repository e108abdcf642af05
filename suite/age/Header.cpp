#include "suite/age/AgeInternal.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace age {
namespace {

constexpr std::string_view kVersionPrefix = "age-encryption.org/";
constexpr std::string_view kVersion = "v1";
constexpr std::string_view kStanzaMark = "->";
constexpr std::string_view kMacMark = "---";
constexpr std::size_t kBodyColumns = 64;       // a full body line
constexpr std::size_t kMacTextSize = 43;   // unpadded base64 of kMacSize bytes
constexpr std::string_view kMacInfo = "header";

// The line starting at `position` in `text`, without its line feed; moves
// `position` past the line feed. Looks no further than kMaxHeaderLineSize
// bytes ahead: kOk, kHeaderLineTooLong, kHeaderTooLarge when the line ends
// past kMaxHeaderSize, or kTruncated when the text ends first.
AgeStatus NextLine(std::string_view text, std::size_t& position, std::string_view& line) {
  const std::string_view rest = text.substr(position, kMaxHeaderLineSize + 1);
  const std::size_t size = rest.find('\n');
  if (size == std::string_view::npos) {
    return rest.size() > kMaxHeaderLineSize ? AgeStatus::kHeaderLineTooLong
                                            : AgeStatus::kTruncated;
  }
  if (position + size + 1 > kMaxHeaderSize) return AgeStatus::kHeaderTooLarge;
  line = rest.substr(0, size);
  position += size + 1;
  return AgeStatus::kOk;
}

// '=' counts here so that padding is refused as base64 rather than as a
// stray character.
bool IsBodyCharacter(char c) { return IsBase64Character(c) || c == '='; }

// The arguments of a stanza line after "-> ": one or more runs of visible
// ASCII characters, each two separated by exactly one blank, at most
// kMaxStanzaArguments of them. They are counted before any is stored, and
// stored in a vector of exactly that size: parsing a line takes memory in
// proportion to it, a few hundred bytes at most beside its own size.
AgeStatus SplitArguments(std::string_view text, std::vector<std::string>& args) {
  const std::size_t count = static_cast<std::size_t>(std::count(text.begin(), text.end(), ' ')) + 1;
  if (count > kMaxStanzaArguments) return AgeStatus::kTooManyArguments;
  args.reserve(count);
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != ' ') {
      if (text[i] < 0x21 || text[i] > 0x7e) return AgeStatus::kMalformedStanza;
      continue;
    }
    // Empty: a leading, doubled or trailing blank.
    if (i == start) return AgeStatus::kMalformedStanza;
    args.emplace_back(text.substr(start, i - start));
    start = i + 1;
  }
  return AgeStatus::kOk;
}

}  // namespace

AgeStatus ParseHeader(const unsigned char* data, std::size_t size, Header& header) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!StartsWith(text, kVersionPrefix)) return AgeStatus::kNotAgeFile;
  std::size_t position = kVersionPrefix.size();
  std::string_view line;
  AgeStatus status = NextLine(text, position, line);
  if (status != AgeStatus::kOk) return status;
  if (line != kVersion) return AgeStatus::kUnsupportedVersion;

  Header parsed;
  for (;;) {
    const std::size_t line_start = position;
    status = NextLine(text, position, line);
    if (status != AgeStatus::kOk) return status;
    if (StartsWith(line, kMacMark)) {
      if (parsed.stanzas.empty() || line.size() != kMacMark.size() + 1 + kMacTextSize ||
          line[kMacMark.size()] != ' ') {
        return AgeStatus::kMalformedHeader;
      }
      std::vector<unsigned char> mac;
      if (!DecodeBase64(line.substr(kMacMark.size() + 1), mac)) return AgeStatus::kBadBase64;
      std::memcpy(parsed.mac, mac.data(), kMacSize);
      parsed.mac_input_size = line_start + kMacMark.size();
      parsed.size = position;
      header = std::move(parsed);
      return AgeStatus::kOk;
    }
    if (!StartsWith(line, kStanzaMark)) return AgeStatus::kMalformedHeader;
    if (parsed.stanzas.size() == kMaxStanzas) return AgeStatus::kTooLarge;
    Stanza stanza;
    if (line.size() <= kStanzaMark.size() || line[kStanzaMark.size()] != ' ') {
      return AgeStatus::kMalformedStanza;
    }
    status = SplitArguments(line.substr(kStanzaMark.size() + 1), stanza.args);
    if (status != AgeStatus::kOk) return status;
    // Full lines of kBodyColumns characters, then a shorter one, maybe empty.
    std::string body;
    do {
      status = NextLine(text, position, line);
      if (status != AgeStatus::kOk) return status;
      if (line.size() > kBodyColumns || !std::all_of(line.begin(), line.end(), IsBodyCharacter)) {
        return AgeStatus::kMalformedStanza;
      }
      body.append(line);
    } while (line.size() == kBodyColumns);
    if (!DecodeBase64(body, stanza.body)) return AgeStatus::kBadBase64;
    parsed.stanzas.push_back(std::move(stanza));
  }
}

std::string EncodeHeaderStart(const std::vector<Stanza>& stanzas) {
  std::string text(kVersionPrefix);
  text.append(kVersion).push_back('\n');
  for (const Stanza& stanza : stanzas) {
    text.append(kStanzaMark);
    for (const std::string& arg : stanza.args) text.append(" ").append(arg);
    text.push_back('\n');
    const std::string body = EncodeBase64(stanza.body.data(), stanza.body.size());
    for (std::size_t start = 0;; start += kBodyColumns) {
      const std::string_view part = std::string_view(body).substr(start, kBodyColumns);
      text.append(part).push_back('\n');
      if (part.size() < kBodyColumns) break;
    }
  }
  text.append(kMacMark);
  return text;
}

std::string EncodeHeader(const Header& header) {
  return EncodeHeaderStart(header.stanzas) + " " + EncodeBase64(header.mac, kMacSize) + "\n";
}

bool ComputeHeaderMac(const unsigned char* file_key, const unsigned char* text, std::size_t size,
                      unsigned char* mac) {
  static_assert(kMacSize == crypto_auth_hmacsha256_BYTES);
  unsigned char key[crypto_auth_hmacsha256_KEYBYTES];
  const bool derived =
      DeriveHkdfSha256(file_key, kFileKeySize, nullptr, 0, kMacInfo, key, sizeof key) &&
      crypto_auth_hmacsha256(mac, text, size, key) == 0;
  sodium_memzero(key, sizeof key);
  return derived;
}

}  // namespace age
