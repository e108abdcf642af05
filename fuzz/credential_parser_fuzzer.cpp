// Runs the one JSON reading on arbitrary texts, through both its readers,
// and holds it to Boost.PropertyTree's JSON parser (its public read_json),
// which the settings reader used to be: after the comment and line rules,
// both must take the same texts for JSON and name the same fault, the
// settings must be the parser's, and every record of a good credential
// text the text the parser decoded. Both readers are also run from a file.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "Src/Misc/Common/PlainText.h"
#include "fuzz/FuzzFile.h"
#include "host/CredentialFileParser.h"

namespace {

using boost::property_tree::ptree;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsLineSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The comment and line rules of docs/settings-format.md, written out again
// as the reference: trimmed lines, "//" lines dropped, joined.
std::string Join(const std::string& text) {
  std::string joined;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::size_t first = start;
    std::size_t last = end;
    while (first < last && IsLineSpace(text[first])) ++first;
    while (last > first && IsLineSpace(text[last - 1])) --last;
    if (text.compare(first, 2, "//") != 0 || last - first < 2) joined.append(text, first, last - first);
    start = end + 1;
  }
  return joined;
}

const ptree& Child(const ptree& tree, const char* name) {
  return tree.get_child(ptree::path_type(name, '\0'));
}

void CheckCredentials(const ptree& tree, const std::map<std::string, std::string>& records) {
  const ptree& list = Child(tree, "credentials");
  Check(records.size() == 2 * list.size());
  for (const auto& element : list) {
    const ptree& entry = element.second;
    const std::string target = Child(entry, "target").data();
    Check(records.at(target + "/user") == Child(entry, "user").data());
    Check(records.at(target + "/password") == Child(entry, "password").data());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  std::map<std::string, std::string> records;
  CredentialFileParser parser;
  const int result = parser.ParseText(text.data(), text.size(), records);
  Check(result >= CredentialFileParser::kOk && result <= CredentialFileParser::kDuplicateTarget);
  Check(result != CredentialFileParser::kCannotOpen);
  Check(result == CredentialFileParser::kOk || records.empty());
  PlainRecords settings;
  const SettingsReading reading = ReadSettingsText(text.data(), text.size(), settings);
  Check((reading.result == SettingsResult::kNotJson) == (result == CredentialFileParser::kNotJson));

  // From a file, the same.
  const std::string& path = WriteFuzzFile(data, size);
  std::map<std::string, std::string> from_file;
  Check(CredentialFileParser().ParseFile(path, from_file) == result && from_file == records);
  PlainRecords settings_from_file;
  Check(ReadSettingsFile(path, settings_from_file).result == reading.result &&
        settings_from_file == settings);

  // The reference. Too deep a text is refused before either parser runs.
  if (reading.json.fault == jsontext::Fault::kTooDeep) return 0;
  ptree tree;
  std::istringstream joined(Join(text));
  try {
    boost::property_tree::read_json(joined, tree);
  } catch (const boost::property_tree::json_parser_error& error) {
    Check(reading.result == SettingsResult::kNotJson);
    Check(error.message() == jsontext::Describe(reading.json.fault));
    return 0;
  }
  Check(reading.result != SettingsResult::kNotJson);
  if (tree.count("sensitive_settings") != 1) {
    Check(reading.result == SettingsResult::kNoSettings);
  } else {
    Check(reading.result == SettingsResult::kOk);
    std::map<std::string, std::string> expected;
    std::size_t names = 0;
    for (const auto& [name, node] : Child(tree, "sensitive_settings")) {
      Check(reading.names.at(names++) == name);
      expected.insert_or_assign(name, node.data());
    }
    Check(names == reading.names.size() && expected == settings);
  }
  if (tree.count("credentials") != 1) Check(result == CredentialFileParser::kNoCredentialList);
  if (result == CredentialFileParser::kOk) CheckCredentials(tree, records);
  return 0;
}
