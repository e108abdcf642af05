#include "Src/Misc/Common/KeyText.h"

#include <cstddef>

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, or
// 0 when it is malformed; `code` gets its code point.
std::size_t SequenceLength(std::string_view text, char32_t& code) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  char32_t least = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return code < least || surrogate || code > 0x10FFFF ? 0 : length;
}

bool IsControl(char32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

void AppendHexByte(unsigned char byte, std::string& out) {
  out.push_back(kHexDigits[byte >> 4]);
  out.push_back(kHexDigits[byte & 0xF]);
}

}  // namespace

bool IsUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    char32_t code = 0;
    const std::size_t length = SequenceLength(text.substr(at), code);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

bool IsPlainText(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    char32_t code = 0;
    const std::size_t length = SequenceLength(text.substr(at), code);
    if (length == 0 || IsControl(code)) return false;
    at += length;
  }
  return true;
}

void AppendShownText(std::string_view text, std::string& out) {
  if (IsPlainText(text)) {
    out.append(text);
    return;
  }
  for (std::size_t at = 0; at < text.size();) {
    char32_t code = 0;
    const std::size_t length = SequenceLength(text.substr(at), code);
    if (length != 0 && !IsControl(code)) {
      if (code == '\\') out.push_back('\\');
      out.append(text.substr(at, length));
      at += length;
      continue;
    }
    const std::size_t bad = length == 0 ? 1 : length;
    for (std::size_t i = 0; i < bad; ++i) {
      out.append("\\x");
      AppendHexByte(static_cast<unsigned char>(text[at + i]), out);
    }
    at += bad;
  }
}
