#include "suite/age/AgeInternal.h"

#include <sodium.h>

#include <algorithm>

namespace age {
namespace {

constexpr std::string_view kBeginLine = "-----BEGIN AGE ENCRYPTED FILE-----";
constexpr std::string_view kEndLine = "-----END AGE ENCRYPTED FILE-----";
constexpr std::size_t kArmorColumns = 64;
constexpr std::size_t kLineBytes = kArmorColumns / 4 * 3;
constexpr int kArmorVariant = sodium_base64_VARIANT_ORIGINAL;  // padded, unlike the header

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view AsText(const unsigned char* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// `text` without the white space around it.
std::string_view Trim(std::string_view text) {
  const auto first = std::find_if_not(text.begin(), text.end(), IsSpace);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), IsSpace).base();
  return first < last ? text.substr(first - text.begin(), last - first) : std::string_view();
}

}  // namespace

bool IsArmored(const unsigned char* data, std::size_t size) {
  return StartsWith(Trim(AsText(data, size)), kBeginLine);
}

AgeStatus Dearmor(const unsigned char* data, std::size_t size,
                  std::vector<unsigned char>& binary) {
  const std::string_view block = Trim(AsText(data, size));
  if (!StartsWith(block, kBeginLine)) return AgeStatus::kBadArmor;
  // The first line's end, LF or CRLF, is the one every line must use.
  std::size_t position = kBeginLine.size();
  const std::string_view line_end = StartsWith(block.substr(position), "\r\n") ? "\r\n" : "\n";
  if (!StartsWith(block.substr(position), line_end)) return AgeStatus::kBadArmor;
  position += line_end.size();

  std::vector<unsigned char> decoded(block.size() / 4 * 3);
  std::size_t decoded_size = 0;
  bool last_line_seen = false;  // a line shorter than full, or padded
  for (;;) {
    const std::size_t end = block.find(line_end, position);
    const std::string_view line = block.substr(position, end == block.npos ? end : end - position);
    if (line == kEndLine) {
      // White space around the block is trimmed: anything after this line
      // is more than white space.
      if (end != block.npos || decoded_size == 0) return AgeStatus::kBadArmor;
      break;
    }
    if (end == block.npos || last_line_seen || line.empty() || line.size() > kArmorColumns ||
        line.size() % 4 != 0) {
      return AgeStatus::kBadArmor;
    }
    // libsodium refuses missing padding and bits set past the last byte;
    // the characters are checked here (see IsBase64Character).
    const std::size_t text_size = line.find_last_not_of('=') + 1;
    if (line.size() - text_size > 2 ||
        !std::all_of(line.begin(), line.begin() + text_size, IsBase64Character)) {
      return AgeStatus::kBadArmor;
    }
    std::size_t line_bytes = 0;
    const char* line_stop = nullptr;
    if (sodium_base642bin(decoded.data() + decoded_size, decoded.size() - decoded_size,
                          line.data(), line.size(), nullptr, &line_bytes, &line_stop,
                          kArmorVariant) != 0 ||
        line_stop != line.data() + line.size()) {
      return AgeStatus::kBadArmor;
    }
    decoded_size += line_bytes;
    last_line_seen = line_bytes < kLineBytes;
    position = end + line_end.size();
  }
  decoded.resize(decoded_size);
  binary = std::move(decoded);
  return AgeStatus::kOk;
}

void Armor(const std::vector<unsigned char>& binary, std::vector<unsigned char>& armored) {
  const std::size_t text_size = sodium_base64_ENCODED_LEN(binary.size(), kArmorVariant) - 1;
  armored.clear();
  armored.reserve(kBeginLine.size() + kEndLine.size() + text_size + text_size / kArmorColumns + 3);
  armored.insert(armored.end(), kBeginLine.begin(), kBeginLine.end());
  armored.push_back('\n');
  char line[kArmorColumns + 1];  // with libsodium's terminating NUL
  for (std::size_t start = 0; start < binary.size(); start += kLineBytes) {
    const std::size_t length = std::min(kLineBytes, binary.size() - start);
    sodium_bin2base64(line, sizeof line, binary.data() + start, length, kArmorVariant);
    armored.insert(armored.end(), line, line + sodium_base64_ENCODED_LEN(length, kArmorVariant) - 1);
    armored.push_back('\n');
  }
  armored.insert(armored.end(), kEndLine.begin(), kEndLine.end());
  armored.push_back('\n');
}

}  // namespace age
