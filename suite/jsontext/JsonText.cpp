#include "suite/jsontext/JsonText.h"

#include <algorithm>
#include <cstring>

namespace jsontext {
namespace {

constexpr unsigned char kByteOrderMarkLead = 0xEF;
constexpr std::size_t kByteOrderMarkSize = 3;

bool IsLineSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::size_t JoinLines(char* text, std::size_t size) {
  std::size_t joined = 0;
  std::size_t start = 0;
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
    if (!comment) {
      std::memmove(text + joined, text + first, last - first);
      joined += last - first;
    }
    start = end + 1;
  }
  return joined;
}

std::size_t ParserStart(const char* text, std::size_t size) {
  if (size == 0 || static_cast<unsigned char>(text[0]) != kByteOrderMarkLead) return 0;
  return std::min(size, kByteOrderMarkSize);
}

// The count starts where the parser does, or a string quote among the
// skipped bytes would hide every bracket after it.
bool IsNestedTooDeep(const char* text, std::size_t size) {
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
      if (++depth > kMaxNestingDepth) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

}  // namespace jsontext
