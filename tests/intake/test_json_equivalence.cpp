// Shows the one JSON reading equivalent to the readers it replaced: the
// settings loader on Boost.PropertyTree's parser and the credential
// parser's own scanner, on generated texts near and far from JSON. Each
// must take the same texts for JSON, fail with the same words, and give the
// same settings (names in order) and the same credential results.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "Src/Misc/Common/PlainText.h"
#include "host/CredentialFileParser.h"
#include "tests/intake/old/OldCredentialFileParser.h"
#include "tests/intake/old/OldJsonText.inc"
#include "tests/intake/old/OldCredentialFileParser.inc"

namespace {

using boost::property_tree::ptree;

struct OldSettings {
  bool json = true;
  std::string message;
  bool settings = false;
  std::vector<std::string> names;
  std::map<std::string, std::string> records;
};

OldSettings ReadOld(const std::string& input) {
  OldSettings result;
  std::string text = input;
  text.resize(oldjsontext::JoinLines(text.data(), text.size()));
  if (oldjsontext::IsNestedTooDeep(text.data(), text.size())) {
    result.json = false;
    result.message = "nesting too deep";
    return result;
  }
  namespace json = boost::property_tree::json_parser::detail;
  json::standard_callbacks<ptree> callbacks;
  json::encoding<char> encoding;
  const char* const begin = text.data();
  try {
    json::read_json_internal(begin, begin + text.size(), encoding, callbacks, std::string());
  } catch (const boost::property_tree::json_parser_error& error) {
    result.json = false;
    result.message = error.message();
    return result;
  }
  ptree& tree = callbacks.output();
  if (tree.count("sensitive_settings") != 1) return result;
  result.settings = true;
  for (auto& [name, node] : tree.get_child(ptree::path_type("sensitive_settings", '\0'))) {
    result.names.push_back(name);
    result.records.insert_or_assign(name, node.data());
  }
  return result;
}

class Generator {
 public:
  explicit Generator(unsigned seed) : random(seed) {}

  std::string Text() {
    std::string text;
    const int shape = Pick(6);
    if (shape == 0) {
      text = Value(0);
    } else if (shape <= 2) {
      text = "{\"sensitive_settings\": " + Value(1) + (Pick(3) == 0 ? ", \"credentials\": " + List() : "") + "}";
    } else if (shape <= 4) {
      text = "{" + std::string(Pick(4) == 0 ? "\"x\": 1, " : "") + "\"credentials\": " + List() + "}";
    } else {
      text = Value(0) + Value(0);
    }
    const int mutations = Pick(4) == 0 ? 0 : Pick(4);
    for (int i = 0; i < mutations; ++i) Mutate(text);
    if (Pick(8) == 0) text = "\xEF\xBB\xBF" + text;
    if (Pick(4) == 0) Lines(text);
    return text;
  }

 private:
  int Pick(int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); }

  std::string List() {
    std::string list = "[";
    const int entries = Pick(4);
    for (int i = 0; i < entries; ++i) {
      if (i > 0) list += ", ";
      if (Pick(6) == 0) {
        list += Value(2);
        continue;
      }
      std::vector<std::string> members;
      const char* names[] = {"target", "user", "password", "port"};
      for (const char* name : names) {
        if (Pick(8) != 0) members.push_back("\"" + std::string(name) + "\": " + (Pick(6) == 0 ? Value(3) : String()));
        if (Pick(12) == 0) members.push_back("\"" + std::string(name) + "\": " + String());
      }
      list += "{";
      for (std::size_t m = 0; m < members.size(); ++m) list += (m ? ", " : "") + members[m];
      list += "}";
    }
    return list + "]";
  }

  std::string String() {
    static const std::vector<std::string> pieces = {
        "a", "h", "Z", " ", "/", "\\\"", "\\\\", "\\/", "\\b", "\\f", "\\n", "\\r", "\\t",
        "\\u00e9", "\\u0000", "\\ud83d\\ude00", "\\ud800", "\\udc00", "\\ud800\\u0041", "\\ud800x",
        "\\ud800\\n", "\\x", "\\u12", "\xC3\xA9", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
        "\xFF", "\x80", "\xC3", "\xE2\x82", "\t", "\x01", "\x7F", std::string(1, '\0'), "//", "\""};
    std::string text = "\"";
    const int length = Pick(5);
    for (int i = 0; i < length; ++i) text += pieces[static_cast<std::size_t>(Pick(Pick(3) == 0 ? 37 : 4))];
    return text + "\"";
  }

  std::string Value(int depth) {
    static const std::vector<std::string> scalars = {
        "0", "-0", "12", "4.20", "-0.5E+3", "1e400", "1e", "1.", "-", "01", "+1", ".5", "1E+",
        "true", "false", "null", "tru", "nul", "fals", "nulls", "truex", "[]", "{}"};
    const int kind = depth > 4 ? 0 : Pick(5);
    if (kind <= 1) return Pick(2) ? String() : scalars[static_cast<std::size_t>(Pick(static_cast<int>(scalars.size())))];
    if (kind == 2) {
      std::string array = "[";
      const int n = Pick(4);
      for (int i = 0; i < n; ++i) array += (i ? ", " : "") + Value(depth + 1);
      return array + "]";
    }
    std::string object = "{";
    const int n = Pick(4);
    for (int i = 0; i < n; ++i) {
      object += (i ? ", " : "") + (Pick(5) == 0 ? std::string("\"sensitive_settings\"") : String()) + ": " + Value(depth + 1);
    }
    return object + "}";
  }

  void Mutate(std::string& text) {
    if (text.empty()) return;
    static const std::vector<std::string> inserts = {",", ":", "{", "}", "[", "]", "\"", "\\", " ", "\n",
                                                     "\r", "\t", "\v", std::string(1, '\0'), "\xEF", "/", "1", "e",
                                                     "-", ".", "u", "\xC3", "\x80"};
    const std::size_t at = static_cast<std::size_t>(Pick(static_cast<int>(text.size())));
    switch (Pick(3)) {
      case 0: text.erase(at, 1); break;
      case 1: text.insert(at, inserts[static_cast<std::size_t>(Pick(static_cast<int>(inserts.size())))]); break;
      default: text.erase(at, static_cast<std::size_t>(Pick(4)));
    }
  }

  void Lines(std::string& text) {
    std::string out;
    for (const char c : text) {
      out.push_back(c);
      if (Pick(10) == 0) out += Pick(3) == 0 ? "\n  // note\n\t" : "\n  ";
    }
    if (Pick(3) == 0) out = "// head\n" + out;
    text.swap(out);
  }

  std::mt19937 random;
};

TEST(JsonEquivalenceTest, TheOneReadingAgreesWithTheReadersItReplaced) {
  const char* rounds_text = std::getenv("KELVOX_EQUIVALENCE_ROUNDS");
  const int rounds = rounds_text != nullptr ? std::atoi(rounds_text) : 20000;
  Generator generator(20240611);
  std::vector<std::string> texts = {
      "", "  ", "// only\n", "\xEF", "\xEF\"a", "\xEF\x00\x00{}", std::string(1001, '[') + std::string(1001, ']'),
      "{\"a\": 1 2 " + std::string(1001, '['), "[1,]", "{\"a\":1,}", "{,}", "{\"a\" 1}", "[1 2]", "\"\\u",
      "\"\\ud800\\u", "{}\0x", "[\"a\"\n, \"b\"]"};
  int json = 0;
  for (int round = 0; round < rounds + static_cast<int>(texts.size()); ++round) {
    const std::string text = round < static_cast<int>(texts.size()) ? texts[static_cast<std::size_t>(round)] : generator.Text();
    const OldSettings old = ReadOld(text);
    PlainRecords records;
    const SettingsReading reading = ReadSettingsText(text.data(), text.size(), records);
    ASSERT_EQ(old.json, reading.result != SettingsResult::kNotJson) << text;
    if (!old.json) {
      ASSERT_EQ(old.message, jsontext::Describe(reading.json.fault)) << text;
    } else {
      ++json;
      ASSERT_EQ(old.settings, reading.result == SettingsResult::kOk) << text;
      ASSERT_EQ(old.names, reading.names) << text;
      ASSERT_EQ(old.records, records) << text;
    }
    std::map<std::string, std::string> before{{"kept", "1"}}, after{{"kept", "1"}};
    const int old_result = OldCredentialFileParser().ParseText(SecretString(text.data(), text.size()), before);
    const int new_result = CredentialFileParser().ParseText(text.data(), text.size(), after);
    ASSERT_EQ(old_result, new_result) << text;
    ASSERT_EQ(before, after) << text;
  }
  EXPECT_GT(json, rounds / 10);
}

}  // namespace
