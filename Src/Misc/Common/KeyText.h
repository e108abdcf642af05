// Keys and paths as the commands accept and show them. A key is stored as
// the bytes it was given, but a new key must be text: well-formed UTF-8
// without control characters, so that every listing shows it as typed.
// Keys from before (or from encrypt's own intake) may be anything; they are
// shown escaped in text and unambiguously in JSON (JsonWriter::Text).
#ifndef SRC_MISC_COMMON_KEYTEXT_H_
#define SRC_MISC_COMMON_KEYTEXT_H_

#include <string>
#include <string_view>

// The digits of a byte written in hexadecimal, as both \xNN here and
// JSON's \u00NN (JsonWriter) write it.
inline constexpr char kHexDigits[] = "0123456789abcdef";

// True when `text` is well-formed UTF-8: no overlong forms, surrogates or
// code points past U+10FFFF.
[[nodiscard]] bool IsUtf8(std::string_view text);

// True when `text` is well-formed UTF-8 holding no control character
// (U+0000 to U+001F, U+007F to U+009F).
[[nodiscard]] bool IsPlainText(std::string_view text);

// Appends `text` for a line of text output: as it is when IsPlainText,
// else with each backslash doubled and every byte of a control character
// or of malformed UTF-8 written as \xNN, so no key can pass for another
// or end the line.
void AppendShownText(std::string_view text, std::string& out);

// AppendShownText's text on its own, for a log line: every log line that
// names a record key or a setting passes it through here, so that no key
// (from someone else's age file) writes a log record of its own.
[[nodiscard]] inline std::string ShownText(std::string_view text) {
  std::string shown;
  AppendShownText(text, shown);
  return shown;
}

#endif  // SRC_MISC_COMMON_KEYTEXT_H_
