// The text rules and the JSON grammar of the suite's inputs. The grammar is
// the one the settings reader has accepted since its first release (RFC 8259
// with loose UTF-8 in strings, numbers of any size kept as written), and
// each fault carries the words that reader logged; the general-purpose JSON
// libraries at hand each differ from it (numbers past a double's range,
// overlong UTF-8, stray surrogates), so the grammar is written out here.
#include "suite/jsontext/JsonText.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace jsontext {
namespace {

constexpr unsigned char kByteOrderMarkLead = 0xEF;
constexpr std::size_t kByteOrderMarkSize = 3;
constexpr unsigned kSurrogateMask = 0xFC00;
constexpr unsigned kHighSurrogate = 0xD800;
constexpr unsigned kLowSurrogate = 0xDC00;
constexpr unsigned kSurrogateBits = 0x3FF;
constexpr unsigned kSupplementaryBase = 0x10000;

// Where a kept, non-empty line starts in the joined text and in the file.
struct Segment {
  std::size_t joined = 0;
  std::size_t line = 0;
  std::size_t column = 0;
};

bool IsLineSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Trims every line (the white space of the classic locale), drops the lines
// that then start with "//" and joins the rest with nothing between them, in
// place and in one pass. Returns the new length and notes in `segments`
// where each kept line came from. Line breaks never reach the grammar, so a
// token split over two lines is joined back together.
std::size_t JoinLines(char* text, std::size_t size, std::vector<Segment>& segments) {
  std::size_t joined = 0;
  std::size_t start = 0;
  std::size_t line = 1;
  while (start < size) {
    const void* newline = std::memchr(text + start, '\n', size - start);
    const std::size_t end = newline != nullptr
                                ? static_cast<std::size_t>(static_cast<const char*>(newline) - text)
                                : size;
    std::size_t first = start;
    std::size_t last = end;
    while (first < last && IsLineSpace(text[first])) ++first;
    while (last > first && IsLineSpace(text[last - 1])) --last;
    const bool comment = last - first >= 2 && text[first] == '/' && text[first + 1] == '/';
    if (!comment && last > first) {
      segments.push_back({joined, line, first - start + 1});
      std::memmove(text + joined, text + first, last - first);
      joined += last - first;
    }
    start = end + 1;
    ++line;
  }
  return joined;
}

Position Locate(const std::vector<Segment>& segments, std::size_t offset) {
  const auto after = std::upper_bound(
      segments.begin(), segments.end(), offset,
      [](std::size_t at, const Segment& segment) { return at < segment.joined; });
  if (after == segments.begin()) return Position{};
  const Segment& segment = *(after - 1);
  return Position{segment.line, segment.column + (offset - segment.joined)};
}

// Past the first three bytes when the first is 0xEF, whatever the other two
// are (at most `size`).
std::size_t ParserStart(const char* text, std::size_t size) {
  if (size == 0 || static_cast<unsigned char>(text[0]) != kByteOrderMarkLead) return 0;
  return std::min(size, kByteOrderMarkSize);
}

// The first bracket outside strings, counted from ParserStart, that nests
// deeper than kMaxNestingDepth, or `size` when there is none. The count
// runs over the whole text before the grammar looks at it, so a text too
// deep is refused as such wherever its other faults lie.
std::size_t FindTooDeep(const char* text, std::size_t size) {
  int depth = 0;
  bool in_string = false;
  for (std::size_t i = ParserStart(text, size); i < size; ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxNestingDepth) return i;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return size;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
// Printable ASCII other than the quote and the backslash: copied as it is.
bool IsPlain(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x20 && byte < 0x80 && c != '"' && c != '\\';
}

// How many continuation bytes follow a byte that starts a character; -1 for
// a control character, a stray continuation byte or a lead byte of more
// than four bytes. Overlong forms and encoded surrogates pass.
int ContinuationBytes(unsigned char c) {
  if (c < 0x20) return -1;
  if (c < 0x80) return 0;
  if (c < 0xC0) return -1;
  if (c < 0xE0) return 1;
  if (c < 0xF0) return 2;
  if (c < 0xF8) return 3;
  return -1;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void AppendUtf8(unsigned code, char*& out) {
  if (code < 0x80) {
    *out++ = static_cast<char>(code);
  } else if (code < 0x800) {
    *out++ = static_cast<char>(0xC0 | (code >> 6));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (code >> 12));
    *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (code >> 18));
    *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The grammar, one value at a time with the open containers on a heap
// stack. Each check is made where, and in the order, the settings reader
// has always made it, so that the first fault is the one it reported.
class Grammar {
 public:
  Grammar(char* text, std::size_t size, Events& events)
      : cur(text), end(text + size), events(events) {}

  // kNone when the text is one JSON value; else the fault, with where() at
  // the byte it was found at.
  Fault Parse() {
    std::vector<bool> objects;  // per open container: an object, else an array
    while (true) {
      const Step step = Value(objects);
      if (step == Step::kFailed) return fault;
      if (step == Step::kOpened) continue;
      // After a value: close containers until one takes another value.
      while (true) {
        SkipSpace();
        if (objects.empty()) {
          if (cur != end) Fail(Fault::kGarbageAfterData);
          return fault;
        }
        if (Take(',')) {
          if (objects.back() && !Member()) return fault;
          break;
        }
        if (!Take(objects.back() ? '}' : ']')) {
          Fail(objects.back() ? Fault::kExpectedObjectEnd : Fault::kExpectedArrayEnd);
          return fault;
        }
        objects.pop_back();
        events.End();
      }
    }
  }

  const char* where() const { return at; }

 private:
  bool Fail(Fault found) {
    fault = found;
    at = cur;
    return false;
  }

  bool Take(char c) {
    if (cur == end || *cur != c) return false;
    ++cur;
    return true;
  }

  void SkipSpace() {
    while (cur != end && IsJsonSpace(*cur)) ++cur;
  }

  void SkipDigits() {
    while (cur != end && IsDigit(*cur)) ++cur;
  }

  enum class Step { kFailed, kDone, kOpened };

  // One value. An object or array that is not empty is left open in
  // `objects` (an object with its first key read) and its first value
  // comes next.
  Step Value(std::vector<bool>& objects) {
    SkipSpace();
    if (Take('{')) {
      events.BeginObject();
      SkipSpace();
      if (Take('}')) {
        events.End();
        return Step::kDone;
      }
      objects.push_back(true);
      return Member() ? Step::kOpened : Step::kFailed;
    }
    if (Take('[')) {
      events.BeginArray();
      SkipSpace();
      if (Take(']')) {
        events.End();
        return Step::kDone;
      }
      objects.push_back(false);
      return Step::kOpened;
    }
    bool read = false;
    if (cur != end && *cur == '"') {
      std::string_view text;
      read = String(text);
      if (read) events.String(text);
    } else if (cur != end && (*cur == 't' || *cur == 'f' || *cur == 'n')) {
      read = Literal();
    } else {
      read = Number();
    }
    return read ? Step::kDone : Step::kFailed;
  }

  // A member's name and colon; its value comes next.
  bool Member() {
    SkipSpace();
    std::string_view name;
    if (cur == end || *cur != '"') return Fail(Fault::kExpectedKey);
    if (!String(name)) return false;
    SkipSpace();
    if (!Take(':')) return Fail(Fault::kExpectedColon);
    // The member's value is read by the next round of Parse.
    events.Key(name);
    return true;
  }

  bool Literal() {
    const char* const start = cur;
    const std::string_view word = *cur == 't' ? "true" : *cur == 'f' ? "false" : "null";
    const Fault wrong = *cur == 't'   ? Fault::kExpectedTrue
                        : *cur == 'f' ? Fault::kExpectedFalse
                                      : Fault::kExpectedNull;
    for (const char c : word) {
      if (!Take(c)) return Fail(wrong);
    }
    events.Literal(std::string_view(start, word.size()));
    return true;
  }

  // -? (0 | [1-9][0-9]*) (.[0-9]+)? ([eE][+-]?[0-9]+)?, any length and size.
  bool Number() {
    const char* const start = cur;
    const bool minus = Take('-');
    if (!Take('0')) {
      if (cur == end || *cur < '1' || *cur > '9') {
        return Fail(minus ? Fault::kDigitsAfterMinus : Fault::kExpectedValue);
      }
      SkipDigits();
    }
    if (Take('.')) {
      if (cur == end || !IsDigit(*cur)) return Fail(Fault::kDigitAfterDot);
      SkipDigits();
    }
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (cur == end || !IsDigit(*cur)) return Fail(Fault::kDigitInExponent);
      SkipDigits();
    }
    events.Number(std::string_view(start, static_cast<std::size_t>(cur - start)));
    return true;
  }

  // A quoted string, decoded where it stands: a decoded string is never
  // longer than its source, so it ends before the source's next byte.
  bool String(std::string_view& value) {
    ++cur;  // the opening quote
    char* const start = cur;
    char* out = cur;
    while (true) {
      // Runs of plain characters, the bulk of any file, need no decoding,
      // and no copying either until the first escape has been decoded.
      char* const run = cur;
      while (cur != end && IsPlain(*cur)) ++cur;
      if (out != run) std::memmove(out, run, static_cast<std::size_t>(cur - run));
      out += cur - run;
      if (cur == end) return Fail(Fault::kUnterminatedString);
      const char c = *cur;
      if (c == '"') {
        ++cur;
        value = std::string_view(start, static_cast<std::size_t>(out - start));
        return true;
      }
      if (c == '\\') {
        ++cur;
        if (!Escape(out)) return false;
        continue;
      }
      const int continuation = ContinuationBytes(static_cast<unsigned char>(c));
      if (continuation < 0) return Fail(Fault::kInvalidCodeSequence);
      *out++ = *cur++;
      for (int i = 0; i < continuation; ++i) {
        if (cur == end || !IsContinuationByte(*cur)) {
          return Fail(Fault::kInvalidCodeSequence);
        }
        *out++ = *cur++;
      }
    }
  }

  bool Escape(char*& out) {
    if (cur == end) return Fail(Fault::kInvalidEscape);
    switch (*cur) {
      case '"':
      case '\\':
      case '/': *out++ = *cur++; return true;
      case 'b': ++cur; *out++ = '\b'; return true;
      case 'f': ++cur; *out++ = '\f'; return true;
      case 'n': ++cur; *out++ = '\n'; return true;
      case 'r': ++cur; *out++ = '\r'; return true;
      case 't': ++cur; *out++ = '\t'; return true;
      case 'u': ++cur; break;
      default: return Fail(Fault::kInvalidEscape);
    }
    unsigned code = 0;
    if (!HexQuad(code)) return false;
    if ((code & kSurrogateMask) == kLowSurrogate) {
      return Fail(Fault::kStrayLowSurrogate);
    }
    if ((code & kSurrogateMask) == kHighSurrogate) {
      if (!Take('\\')) return Fail(Fault::kStrayHighSurrogate);
      if (!Take('u')) return Fail(Fault::kNoEscapeAfterHighSurrogate);
      unsigned low = 0;
      if (!HexQuad(low)) return false;
      if ((low & kSurrogateMask) != kLowSurrogate) {
        return Fail(Fault::kNoLowSurrogate);
      }
      code = kSupplementaryBase + (((code & kSurrogateBits) << 10) | (low & kSurrogateBits));
    }
    AppendUtf8(code, out);
    return true;
  }

  bool HexQuad(unsigned& code) {
    for (int i = 0; i < 4; ++i) {
      const int digit = cur == end ? -1 : HexValue(*cur);
      if (digit < 0) return Fail(Fault::kInvalidEscape);
      code = code * 16 + static_cast<unsigned>(digit);
      ++cur;
    }
    return true;
  }

  char* cur;
  char* const end;
  Events& events;
  Fault fault = Fault::kNone;
  const char* at = nullptr;
};

}  // namespace

const char* Describe(Fault fault) {
  switch (fault) {
    case Fault::kNone: return "no fault";
    case Fault::kTooDeep: return "nesting too deep";
    case Fault::kExpectedValue: return "expected value";
    case Fault::kExpectedNull: return "expected 'null'";
    case Fault::kExpectedTrue: return "expected 'true'";
    case Fault::kExpectedFalse: return "expected 'false'";
    case Fault::kDigitsAfterMinus: return "expected digits after -";
    case Fault::kDigitAfterDot: return "need at least one digit after '.'";
    case Fault::kDigitInExponent: return "need at least one digit in exponent";
    case Fault::kUnterminatedString: return "unterminated string";
    case Fault::kInvalidCodeSequence: return "invalid code sequence";
    case Fault::kInvalidEscape: return "invalid escape sequence";
    case Fault::kStrayLowSurrogate: return "invalid codepoint, stray low surrogate";
    case Fault::kStrayHighSurrogate: return "invalid codepoint, stray high surrogate";
    case Fault::kNoEscapeAfterHighSurrogate:
      return "expected codepoint reference after high surrogate";
    case Fault::kNoLowSurrogate: return "expected low surrogate after high surrogate";
    case Fault::kExpectedKey: return "expected key string";
    case Fault::kExpectedColon: return "expected ':'";
    case Fault::kExpectedObjectEnd: return "expected '}' or ','";
    case Fault::kExpectedArrayEnd: return "expected ']' or ','";
    case Fault::kGarbageAfterData: return "garbage after data";
  }
  return "not JSON";
}

bool IsStringText(std::string_view text) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) continue;
    const int continuation = ContinuationBytes(byte);
    if (continuation < 0 || text.size() - at <= static_cast<std::size_t>(continuation)) return false;
    for (int i = 0; i < continuation; ++i) {
      if (!IsContinuationByte(text[++at])) return false;
    }
  }
  return true;
}

Reading Read(char* text, std::size_t size, Events& events) {
  std::vector<Segment> segments;
  const std::size_t joined = JoinLines(text, size, segments);
  Reading reading;
  const std::size_t deep = FindTooDeep(text, joined);
  if (deep != joined) {
    reading.fault = Fault::kTooDeep;
    reading.where = Locate(segments, deep);
    return reading;
  }
  const std::size_t start = ParserStart(text, joined);
  Grammar grammar(text + start, joined - start, events);
  reading.fault = grammar.Parse();
  if (!reading.IsJson()) {
    reading.where = Locate(segments, static_cast<std::size_t>(grammar.where() - text));
  }
  return reading;
}

}  // namespace jsontext
