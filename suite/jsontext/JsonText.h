// The text rules of the suite's JSON inputs (docs/settings-format.md),
// kept once for the sensitive settings reader and the credential parser so
// that both accept and reject the same texts: whole-line // comments are
// dropped and the trimmed lines joined; a leading 0xEF byte is taken for a
// UTF-8 byte-order mark; nesting deeper than kMaxNestingDepth is refused.
#ifndef SUITE_JSONTEXT_JSONTEXT_H_
#define SUITE_JSONTEXT_JSONTEXT_H_

#include <cstddef>

namespace jsontext {

// No input comes near this depth; one that does is refused as bad JSON, so
// that no parser descending one call per level can exhaust its stack.
constexpr int kMaxNestingDepth = 1000;

// Trims every line of `text` (blank, tab, line feed, vertical tab, form
// feed, carriage return: the white space of the classic locale), drops the
// lines that then start with "//" and joins the rest with nothing between
// them, in place and in one pass. Returns the new length. Line breaks never
// reach a parser, so a token split over two lines is joined back together.
std::size_t JoinLines(char* text, std::size_t size);

// Where a parser starts reading a joined text: past the first three bytes
// when the first is 0xEF, whatever the other two are (at most `size`).
std::size_t ParserStart(const char* text, std::size_t size);

// True when brackets outside strings, counted from ParserStart, nest
// deeper than kMaxNestingDepth.
bool IsNestedTooDeep(const char* text, std::size_t size);

}  // namespace jsontext

#endif  // SUITE_JSONTEXT_JSONTEXT_H_
