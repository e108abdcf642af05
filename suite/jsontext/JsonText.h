// The one reading of the suite's JSON inputs (docs/settings-format.md): the
// sensitive settings reader, the credential parser and edit's text all go
// through Read, so that they accept and reject the same texts. Whole-line //
// comments are dropped and the trimmed lines joined; a leading 0xEF byte is
// taken for a UTF-8 byte-order mark; nesting deeper than kMaxNestingDepth is
// refused; the joined text must then be one JSON value by the grammar the
// settings reader has always accepted. Strings are decoded in place, so the
// caller's buffer (wiped memory) holds the only copy of every value.
#ifndef SUITE_JSONTEXT_JSONTEXT_H_
#define SUITE_JSONTEXT_JSONTEXT_H_

#include <cstddef>
#include <string_view>

namespace jsontext {

// No input comes near this depth; one that does is refused as not JSON.
constexpr int kMaxNestingDepth = 1000;

// The first thing that makes a text not JSON. Describe gives the words the
// encrypt command's log has always used for each.
enum class Fault : unsigned char {
  kNone,
  kTooDeep,
  kExpectedValue,
  kExpectedNull,
  kExpectedTrue,
  kExpectedFalse,
  kDigitsAfterMinus,
  kDigitAfterDot,
  kDigitInExponent,
  kUnterminatedString,
  kInvalidCodeSequence,
  kInvalidEscape,
  kStrayLowSurrogate,
  kStrayHighSurrogate,
  kNoEscapeAfterHighSurrogate,
  kNoLowSurrogate,
  kExpectedKey,
  kExpectedColon,
  kExpectedObjectEnd,
  kExpectedArrayEnd,
  kGarbageAfterData,
};

const char* Describe(Fault fault);

// Where a fault lies in the text as the file has it, before comment lines
// were dropped and lines joined: line and column count from 1, the column
// in bytes. At the end of the text, just past its last kept byte.
struct Position {
  std::size_t line = 1;
  std::size_t column = 1;
};

struct Reading {
  Fault fault = Fault::kNone;
  Position where;

  bool IsJson() const { return fault == Fault::kNone; }
};

// What a reading reports, in document order. Views point into the text
// being read and stay valid while it is unchanged; a string is decoded,
// a number is the text as written, a literal is "true", "false" or "null".
class Events {
 public:
  virtual ~Events() = default;
  virtual void BeginObject() = 0;
  virtual void BeginArray() = 0;
  // Ends the innermost object or array.
  virtual void End() = 0;
  // The name of the member whose value comes next.
  virtual void Key(std::string_view name) = 0;
  virtual void String(std::string_view text) = 0;
  virtual void Number(std::string_view text) = 0;
  virtual void Literal(std::string_view word) = 0;
};

// True when Read takes `text` back as the same bytes once it is written as
// a JSON string with only its control characters escaped: every byte from
// 0x80 up belongs to a lead byte 0xC0-0xF7 followed by its continuation
// bytes.
bool IsStringText(std::string_view text);

// Reads the whole text of an input file, `size` bytes at `text`, which it
// rewrites in place (lines joined, strings decoded). Reports every value to
// `events` and returns a reading without fault when the text is JSON; else
// the first fault and its place, `events` having seen the values before it.
// Keeps no copy of the text; costs heap, not stack, per nesting level.
Reading Read(char* text, std::size_t size, Events& events);

}  // namespace jsontext

#endif  // SUITE_JSONTEXT_JSONTEXT_H_
