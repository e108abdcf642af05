#include "suite/age/AgeInternal.h"

#include <sodium.h>

#include <algorithm>
#include <utility>

namespace age {

namespace {
constexpr int kUnpaddedVariant = sodium_base64_VARIANT_ORIGINAL_NO_PADDING;
}  // namespace

bool IsBase64Character(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '+' || c == '/';
}

std::string EncodeBase64(const unsigned char* data, std::size_t size) {
  // sodium_bin2base64 writes a terminating NUL after the text.
  std::string text(sodium_base64_ENCODED_LEN(size, kUnpaddedVariant), '\0');
  sodium_bin2base64(text.data(), text.size(), data, size, kUnpaddedVariant);
  text.pop_back();
  return text;
}

bool DecodeBase64(std::string_view text, std::vector<unsigned char>& bytes) {
  // libsodium refuses a length no encoding has and bits set past the last
  // byte, and stops without complaint at '='.
  if (!std::all_of(text.begin(), text.end(), IsBase64Character)) return false;
  std::vector<unsigned char> decoded(text.size() / 4 * 3 + 2);
  std::size_t size = 0;
  const char* end = nullptr;
  if (sodium_base642bin(decoded.data(), decoded.size(), text.data(), text.size(), nullptr, &size,
                        &end, kUnpaddedVariant) != 0 ||
      end != text.data() + text.size()) {
    return false;
  }
  decoded.resize(size);
  bytes = std::move(decoded);
  return true;
}

}  // namespace age
