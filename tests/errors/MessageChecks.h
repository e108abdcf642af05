// Checks that every message of the catalogue and of the legacy table passes:
// a real line of text, not a stand-in left from filling the tables.
#ifndef TESTS_ERRORS_MESSAGECHECKS_H_
#define TESTS_ERRORS_MESSAGECHECKS_H_

#include <algorithm>
#include <regex>
#include <string>

namespace errors_testing {

// True when `text` reads like a stand-in: a to-do mark, a format directive,
// "Error 113", "Category 4 error", "Code 7" or no word at all.
inline bool LooksLikePlaceholder(const std::string& text) {
  static const std::regex kMarks(R"((^|\W)(todo|tbd|fixme|xxx|placeholder|lorem)(\W|$))",
                                 std::regex::icase);
  static const std::regex kNumbered(
      R"(^\s*(error|category|code|message|entry|group)\s*(0x)?[0-9a-f]+\b.*|.*\b(error|code)\s*(0x)?[0-9]+\.?\s*$)",
      std::regex::icase);
  static const std::regex kFormat(R"(%[-0-9]*[dsuxXlf]|\{\}|<[a-z_ ]+>)");
  static const std::regex kWord(R"([A-Za-z]{3,})");
  return std::regex_search(text, kMarks) || std::regex_match(text, kNumbered) ||
         std::regex_search(text, kFormat) || !std::regex_search(text, kWord);
}

inline bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

inline bool HasOuterBlank(const std::string& text) {
  return !text.empty() && (text.front() == ' ' || text.back() == ' ');
}

}  // namespace errors_testing

#endif  // TESTS_ERRORS_MESSAGECHECKS_H_
