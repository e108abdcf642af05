#include "Src/Misc/Encrypt/JsonFile.h"

#include <sodium.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <locale>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

namespace {

// The input holds plaintext secrets. Every buffer that holds part of it is
// allocated through this allocator, which zeroes the whole block before
// freeing it: growth, early returns and parse errors cannot leave a copy.
template <typename T>
struct WipingAllocator {
  using value_type = T;

  WipingAllocator() = default;
  template <typename U>
  WipingAllocator(const WipingAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* block, std::size_t n) noexcept {
    sodium_memzero(block, n * sizeof(T));
    std::allocator<T>().deallocate(block, n);
  }

  template <typename U>
  bool operator==(const WipingAllocator<U>&) const noexcept {
    return true;
  }
};

using SecretString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;
using SecretStream = std::basic_istringstream<char, std::char_traits<char>, WipingAllocator<char>>;

// The JSON parser descends one call per level of nesting, so a crafted file
// of nothing but brackets would exhaust the stack and end the program. No
// settings file comes near this depth; one that does is refused as bad JSON.
constexpr int kMaxNestingDepth = 1000;

// Where the parser starts reading `text`. Taking a leading 0xEF byte for a
// UTF-8 byte-order mark, it skips the first three bytes, whatever the other
// two are; the depth count must start where the parser does, or a string
// quote among the skipped bytes would hide every bracket after it.
std::size_t GetParserStart(const SecretString& text) {
  constexpr unsigned char kByteOrderMarkLead = 0xEF;
  constexpr std::size_t kByteOrderMarkSize = 3;
  if (text.empty() || static_cast<unsigned char>(text[0]) != kByteOrderMarkLead) return 0;
  return std::min(text.size(), kByteOrderMarkSize);
}

// Throws the parser's own error for text nested deeper than the limit.
// Brackets inside strings do not count.
void CheckNestingDepth(const SecretString& text) {
  int depth = 0;
  bool in_string = false;
  for (std::size_t i = GetParserStart(text); i < text.size(); ++i) {
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
      if (++depth > kMaxNestingDepth) {
        throw boost::property_tree::json_parser_error("nesting too deep", "", 1);
      }
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
}

}  // namespace

void ReadJsonFile(const std::string& path, boost::property_tree::ptree& tree) {
  std::ifstream file(path);
  if (!file.good()) throw std::runtime_error("The json file can not be opened.");

  // A plain string reads lines fastest. Reserved to the size of the file, it
  // never moves to a larger buffer, so no line is left behind unwiped; it is
  // zeroed below, whole.
  std::string line;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (!error) line.reserve(static_cast<std::size_t>(size));

  // trim() with the white space of the default locale; the facet is looked
  // up once instead of once per character.
  const auto& ctype = std::use_facet<std::ctype<char>>(std::locale());
  const auto is_space = [&ctype](char c) { return ctype.is(std::ctype_base::space, c); };

  // Appending keeps the join linear; line breaks never reach the parser, so
  // a token split over two lines is joined back together.
  SecretString joined;
  while (std::getline(file, line)) {
    boost::algorithm::trim_if(line, is_space);
    if (boost::algorithm::starts_with(line, "//")) continue;
    joined.append(line.data(), line.size());
  }
  file.close();
  line.resize(line.capacity());
  sodium_memzero(line.data(), line.size());
  // Released before parsing: the parse is the intake's peak of memory.
  std::string().swap(line);

  CheckNestingDepth(joined);
  // The stream takes the text over instead of copying it.
  SecretStream stream(std::move(joined));
  boost::property_tree::read_json(stream, tree);
}
