// The credential parser: records of good files, each error number, and its
// agreement with the settings reader's JSON loader on what is JSON.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "Src/Misc/Encrypt/JsonFile.h"
#include "host/CredentialFileParser.h"
#include "tests/support/TestSupport.h"

namespace {

using Records = std::map<std::string, std::string>;
using Parser = CredentialFileParser;

class CredentialParserTest : public testing::Test {
 protected:
  int Parse(const std::string& text) {
    testing_support::WriteFile(path, text);
    return parser.ParseFile(path, records);
  }
  // Whether the settings reader's loader takes the file for JSON.
  bool LoaderAccepts() {
    boost::property_tree::ptree tree;
    try {
      ReadJsonFile(path, tree);
      return true;
    } catch (const boost::property_tree::json_parser_error&) {
      return false;
    }
  }

  testing_support::ScopedTempDir dir;
  std::string path = dir.File("credentials.json");
  Parser parser;
  Records records;
};

TEST_F(CredentialParserTest, EachEntryGivesUserAndPasswordRecords) {
  ASSERT_EQ(parser.ParseFile(std::string(KELVOX_EXAMPLES) + "/credentials.json", records),
            Parser::kOk);
  EXPECT_EQ(records.size(), 6u);
  EXPECT_EQ(records.at("bmc01.example.net/user"), "admin");
  EXPECT_EQ(records.at("192.0.2.17/password"), "example-Passw0rd-03");
}

TEST_F(CredentialParserTest, OtherMembersAreIgnored) {
  EXPECT_EQ(Parse(R"({"sensitive_settings": {"a": 1}, "credentials": [{"note": [1, {"x": 2}],
      "target": "h", "user": "", "password": "p", "port": 623}], "z": null})"),
            Parser::kOk);
  EXPECT_EQ(records, (Records{{"h/password", "p"}, {"h/user", ""}}));
}

TEST_F(CredentialParserTest, CommentsAndLineJoiningFollowTheSettingsReader) {
  EXPECT_EQ(Parse("// head\n{\"credentials\": [\r\n  // indented\n"
                  "{\"target\": \"h\", \"user\": \"ad\n  min\", \"password\": \"p\"}]}"),
            Parser::kOk);
  EXPECT_EQ(records.at("h/user"), "admin");
}

TEST_F(CredentialParserTest, EscapesAreDecoded) {
  EXPECT_EQ(Parse(R"({"credentials": [{"target": "caf\u00e9", "user": "a\"\\\/\t",
      "password": "\ud83d\ude00\u0000x"}]})"),
            Parser::kOk);
  EXPECT_EQ(records.at("caf\xC3\xA9/user"), "a\"\\/\t");
  EXPECT_EQ(records.at("caf\xC3\xA9/password"), std::string("\xF0\x9F\x98\x80\0x", 6));
}

// ---- Error numbers ----

TEST_F(CredentialParserTest, FileThatCannotBeReadIsOne) {
  EXPECT_EQ(parser.ParseFile(dir.File("absent.json"), records), Parser::kCannotOpen);
  EXPECT_EQ(parser.ParseFile(dir.path().string(), records), Parser::kCannotOpen);
}

TEST_F(CredentialParserTest, EachFaultHasItsNumberAndLeavesRecordsUntouched) {
  const auto list = [](const std::string& entries) {
    return "{\"credentials\": [" + entries + "]}";
  };
  const std::string h = R"({"target": "h", "user": "u", "password": "p"})";
  const std::vector<std::pair<std::string, int>> cases = {
      {"", Parser::kNotJson}, {"// only a note", Parser::kNotJson},
      {list("") + " // note", Parser::kNotJson}, {list("") + ",", Parser::kNotJson},
      {R"({"credentials": "x", )", Parser::kNotJson},
      {R"({"sensitive_settings": {}})", Parser::kNoCredentialList},
      {R"({"credentials": {}})", Parser::kNoCredentialList},
      {R"({"credentials": [], "credentials": []})", Parser::kNoCredentialList},
      {R"({"x": {"credentials": []}})", Parser::kNoCredentialList},
      {R"([{"credentials": []}])", Parser::kNoCredentialList},
      {list(R"("h")"), Parser::kBadEntry},
      {list(R"({"user": "u", "password": "p"})"), Parser::kBadEntry},
      {list(R"({"target": "", "user": "u", "password": "p"})"), Parser::kBadEntry},
      {list(R"({"target": "h", "password": "p"})"), Parser::kBadEntry},
      {list(R"({"target": "h", "user": "u"})"), Parser::kBadEntry},
      {list(R"({"target": "h", "user": "u", "password": 1234})"), Parser::kBadEntry},
      {list(R"({"target": "h", "user": "u", "user": "v", "password": "p"})"), Parser::kBadEntry},
      {list(h + ", " + h), Parser::kDuplicateTarget},
      {list(h + ", " + h + R"(, {"target": "g"})"), Parser::kDuplicateTarget},
      {list(R"({"target": "g"}, )" + h + ", " + h), Parser::kBadEntry}};
  for (const auto& [text, number] : cases) {
    records = {{"kept", "yes"}};
    EXPECT_EQ(Parse(text), number) << text;
    EXPECT_EQ(records, (Records{{"kept", "yes"}})) << text;
  }
}

// ---- Agreement with the settings reader on what is JSON ----

TEST_F(CredentialParserTest, AcceptsExactlyWhatTheSettingsLoaderAccepts) {
  const std::string entry = R"({"credentials": [{"target": "h", "user": "u", "password": )";
  const std::vector<std::string> values = {
      "\"p\"", "\"\xC0\x80\xED\xA0\x80\x7F\"", "\"\xFF\"", "\"\x80\"", "\"\xE2\x82\"", "\"a\tb\"",
      R"("\ud800")", R"("\udc00")", R"("\ud800\u0041")", R"("\x")", "1e400",
      std::string(400, '9'), "-0.0e-999", "01", "1.", ".5", "+1", "tru", "nulls",
      std::string(500, '[') + std::string(500, ']')};
  std::vector<std::string> texts = {"\xEF\xBB\xBF{\"credentials\": []}",
                                    std::string("\xEF\0\0{\"credentials\": []}", 21),
                                    std::string("{\"credentials\": []}\0", 20), "[]",
                                    "\"only a string\"", "{\"a\" \"b\"}", "{\"a\": 1 2}"};
  for (const std::string& value : values) texts.push_back(entry + value + "}]}");
  for (const std::string& text : texts) {
    const int result = Parse(text);
    EXPECT_EQ(result != Parser::kNotJson, LoaderAccepts()) << text;
    EXPECT_NE(result, Parser::kCannotOpen);
  }
}

}  // namespace
