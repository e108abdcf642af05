#include "Src/Misc/Encrypt/JsonFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <locale>
#include <stdexcept>
#include <string>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "suite/secretmemory/SecretMemory.h"
#include "suite/utf8/Utf8Path.h"

namespace {

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
  const std::filesystem::path native = utf8::MakeStdPath(path);
  std::ifstream file(native);
  if (!file.good()) throw std::runtime_error("The json file can not be opened.");

  // A plain string reads lines fastest. Reserved to the size of the file, it
  // never moves to a larger buffer, so no line is left behind unwiped; it is
  // zeroed below, whole.
  std::string line;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(native, error);
  if (!error) line.reserve(static_cast<std::size_t>(size));

  // trim() with the white space of the default locale; the facet is looked
  // up once instead of once per character.
  const auto& ctype = std::use_facet<std::ctype<char>>(std::locale());
  const auto is_space = [&ctype](char c) { return ctype.is(std::ctype_base::space, c); };

  // Appending keeps the join linear; line breaks never reach the parser, so
  // a token split over two lines is joined back together. The joined text
  // holds the secrets: its buffers are zeroed whenever they are freed.
  SecretString joined;
  while (std::getline(file, line)) {
    boost::algorithm::trim_if(line, is_space);
    if (boost::algorithm::starts_with(line, "//")) continue;
    joined.append(line.data(), line.size());
  }
  file.close();
  WipeString(line);
  // Released before parsing: the parse is the intake's peak of memory.
  std::string().swap(line);

  CheckNestingDepth(joined);
  // The stream takes the text over instead of copying it.
  SecretStream stream(std::move(joined));
  boost::property_tree::read_json(stream, tree);
}
