#include "suite/age/AgeInternal.h"

#include <cstdint>
#include <utility>

namespace age {
namespace {

constexpr std::string_view kCharset = "qpzry9x8gf2tvdw0s3jn54khce6mua7l";
constexpr std::size_t kChecksumSize = 6;
constexpr char kSeparator = '1';

// One step of the checksum's BCH code over GF(32): shifts in `value`.
std::uint32_t Polymod(std::uint32_t checksum, unsigned value) {
  constexpr std::uint32_t kGenerator[5] = {0x3b6a57b2, 0x26508e6d, 0x1ea119fa, 0x3d4233dd,
                                           0x2a1462b3};
  const std::uint32_t top = checksum >> 25;
  checksum = ((checksum & 0x1ffffff) << 5) ^ value;
  for (int i = 0; i < 5; ++i) {
    if ((top >> i) & 1) checksum ^= kGenerator[i];
  }
  return checksum;
}

// The checksum state after the expanded human-readable part: the high bits
// of each character, a zero, then the low bits.
std::uint32_t PolymodOfHrp(std::string_view hrp) {
  std::uint32_t checksum = 1;
  for (const char c : hrp) checksum = Polymod(checksum, static_cast<unsigned char>(c) >> 5);
  checksum = Polymod(checksum, 0);
  for (const char c : hrp) checksum = Polymod(checksum, static_cast<unsigned char>(c) & 31);
  return checksum;
}

char ToLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool DecodeBech32(std::string_view text, std::string& hrp, WipedBytes& values) {
  bool lower = false;
  bool upper = false;
  for (const char c : text) {
    if (c < 33 || c > 126) return false;
    lower = lower || (c >= 'a' && c <= 'z');
    upper = upper || (c >= 'A' && c <= 'Z');
  }
  const std::size_t separator = text.rfind(kSeparator);
  if ((lower && upper) || separator == std::string_view::npos || separator == 0 ||
      text.size() - separator - 1 < kChecksumSize) {
    return false;
  }
  std::string lower_hrp;
  for (const char c : text.substr(0, separator)) lower_hrp.push_back(ToLower(c));
  WipedBytes data;
  data.reserve(text.size() - separator - 1);
  std::uint32_t checksum = PolymodOfHrp(lower_hrp);
  for (const char c : text.substr(separator + 1)) {
    const std::size_t value = kCharset.find(ToLower(c));
    if (value == std::string_view::npos) return false;
    data.push_back(static_cast<unsigned char>(value));
    checksum = Polymod(checksum, static_cast<unsigned>(value));
  }
  if (checksum != 1) return false;
  data.resize(data.size() - kChecksumSize);
  hrp = std::move(lower_hrp);
  values = std::move(data);
  return true;
}

void EncodeBech32(std::string_view hrp, const WipedBytes& values, SecretString& text) {
  std::uint32_t checksum = PolymodOfHrp(hrp);
  for (const unsigned char value : values) checksum = Polymod(checksum, value);
  for (std::size_t i = 0; i < kChecksumSize; ++i) checksum = Polymod(checksum, 0);
  checksum ^= 1;
  SecretString encoded(hrp);
  encoded.reserve(hrp.size() + 1 + values.size() + kChecksumSize);
  encoded.push_back(kSeparator);
  for (const unsigned char value : values) encoded.push_back(kCharset[value]);
  for (std::size_t i = 0; i < kChecksumSize; ++i) {
    encoded.push_back(kCharset[(checksum >> (5 * (kChecksumSize - 1 - i))) & 31]);
  }
  text = std::move(encoded);
}

bool RegroupBits(const unsigned char* in, std::size_t size, unsigned from, unsigned to,
                 WipedBytes& out) {
  const std::uint32_t mask = (1u << to) - 1;
  std::uint32_t accumulator = 0;
  unsigned bits = 0;
  WipedBytes regrouped;
  regrouped.reserve(size * from / to + 1);
  for (std::size_t i = 0; i < size; ++i) {
    accumulator = ((accumulator << from) | in[i]) & 0xfff;
    bits += from;
    while (bits >= to) {
      bits -= to;
      regrouped.push_back(static_cast<unsigned char>((accumulator >> bits) & mask));
    }
  }
  if (from < to) {
    if (bits >= from || ((accumulator << (to - bits)) & mask) != 0) return false;
  } else if (bits > 0) {
    regrouped.push_back(static_cast<unsigned char>((accumulator << (to - bits)) & mask));
  }
  out = std::move(regrouped);
  return true;
}

}  // namespace age
