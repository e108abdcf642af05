// The input intake: which file gives which records, the text rules the two
// readers share (comments, line joining, what is JSON), the nesting limit,
// the gate that keeps non-JSON from the credential reader, and the log.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "Src/Misc/Common/JsonFile.h"
#include "errors/ErrorCatalogue.h"
#include "host/CredentialFileParser.h"
#include "tests/support/EncryptProbe.h"
#include "tests/support/TestSupport.h"

namespace {

using boost::property_tree::json_parser::json_parser_error;
using Parser = CredentialFileParser;
using testing_support::ScopedLogCapture;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class IntakeTest : public testing::Test {
 protected:
  void Write(const std::string& text) { testing_support::WriteFile(path, text); }
  int Intake(const std::string& file) {
    command = std::make_unique<EncryptProbe>(file);
    return command->ReadFileIntoMemory();
  }
  // The settings reader on `text`: its code, or -1 when the loader threw.
  int ReadSettings(const std::string& text) {
    Write(text);
    command = std::make_unique<EncryptProbe>(path);
    try { return command->ReadSensitiveSettingFile(path); } catch (const json_parser_error&) { return -1; }
  }
  RecordMap Settings() const { return command->Records().at(SensitiveSetting); }
  // Whether the settings loader takes the file for JSON.
  bool LoaderAccepts() const {
    boost::property_tree::ptree tree;
    try { return ReadJsonFile(path, tree), true; } catch (const json_parser_error&) { return false; }
  }
  int Parse(const std::string& text, RecordMap& records) {
    Write(text);
    return Parser().ParseFile(path, records);
  }

  testing_support::ScopedTempDir dir;
  std::string path = dir.File("input.json");
  std::unique_ptr<EncryptProbe> command;
};

TEST_F(IntakeTest, EachFileGivesTheTypesItHolds) {
  const std::string settings = R"("sensitive_settings": {"s": "1"})";
  const std::string credentials = R"("credentials": [{"target": "h", "user": "u", "password": "p"}])";
  const std::vector<std::pair<std::string, std::vector<FileType>>> cases = {
      {"{" + settings + "}", {SensitiveSetting}},
      {"{" + credentials + "}", {Credential}},
      {"{" + settings + ", " + credentials + "}", {SensitiveSetting, Credential}},
      {R"({"sensitive_settings": {}})", {SensitiveSetting}},
      {R"({"settings": {"a": "b"}})", {}},
      {R"({"credentials": []})", {}},
  };
  for (const auto& [text, types] : cases) {
    Write(text);
    EXPECT_EQ(Intake(path), static_cast<int>(types.empty() ? ERR_INVALID_FILE : ERR_SUCCEED)) << text;
    std::vector<FileType> found;
    for (const auto& [type, records] : command->Records()) found.push_back(type);
    EXPECT_EQ(found, types) << text;
  }
  EXPECT_EQ(command->ReadCredentialFile(path), static_cast<int>(ERR_READ_FILE));
  // Paths that are not regular files.
  EXPECT_EQ(Intake(dir.File("absent.json")), static_cast<int>(ERR_FILE_NOT_EXIST));
  EXPECT_EQ(Intake(""), static_cast<int>(ERR_FILE_NOT_EXIST));
  EXPECT_EQ(Intake(dir.path().string()), static_cast<int>(ERR_INVALID_FILE));
}

TEST_F(IntakeTest, NonJsonNeverReachesTheCredentialReader) {
  const std::string credentials = R"({"credentials": [{"target": "h", "user": "u", "password": "p"}]})";
  for (const std::string& text : {std::string(), std::string("  // a note\n\n"), credentials + " // note"}) {
    ScopedLogCapture log(4);
    Write(text);
    EXPECT_EQ(Intake(path), static_cast<int>(ERR_INVALID_FILE)) << text;
    EXPECT_FALSE(Has(log.Text(), "ReadCredentialFile")) << text;
    EXPECT_TRUE(command->Records().empty());
  }
}

TEST_F(IntakeTest, LogNamesSettingsButCarriesNoValue) {
  ScopedLogCapture log(4);
  Write(R"({"sensitive_settings": {"db_password": "SETTING-SECRET"},
      "credentials": [{"target": "h", "user": "USER-SECRET", "password": "PASSWORD-SECRET"}]})");
  EXPECT_EQ(Intake(path), static_cast<int>(ERR_SUCCEED));
  EXPECT_TRUE(Has(log.Text(), "db_password"));
  EXPECT_FALSE(Has(log.Text(), "SECRET"));
}

TEST_F(IntakeTest, SettingsKeepTheirTextAndTheNodeMustBeUniqueAtTheTop) {
  const std::vector<std::pair<std::string, RecordMap>> cases = {
      {R"({"i": 42, "f": 4.20, "e": -0.5E+3, "t": true, "n": null, "o": {"x": "y"}, "l": [1],
          "s": "\u00e9\n"})",
       {{"i", "42"}, {"f", "4.20"}, {"e", "-0.5E+3"}, {"t", "true"}, {"n", "null"}, {"o", ""},
        {"l", ""}, {"s", "\xC3\xA9\n"}}},
      {R"({"a.b": "1", "": "2", "A.b": "3", "a.b": "4"})", {{"", "2"}, {"A.b", "3"}, {"a.b", "4"}}},
      {R"("text")", {}},
      {R"(["a", "b"])", {{"", "b"}}},
  };
  for (const auto& [node, records] : cases) {
    EXPECT_EQ(ReadSettings("{\"sensitive_settings\": " + node + "}"), static_cast<int>(ERR_SUCCEED));
    EXPECT_EQ(Settings(), records) << node;
  }
  for (const char* text : {R"({"other": {}})", R"({"outer": {"sensitive_settings": {}}})",
                           R"({"sensitive_settings": {}, "sensitive_settings": {}})",
                           R"([{"sensitive_settings": {}}])", "42"}) {
    EXPECT_EQ(ReadSettings(text), static_cast<int>(ERR_GENERIC_FAILURE)) << text;
    EXPECT_TRUE(command->Records().empty());
  }
}

TEST_F(IntakeTest, BothReadersDropCommentLinesAndJoinTrimmedLines) {
  // Setting name, value and credential user, each split or commented.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"// head\n{\"sensitive_settings\":\n \t// indented\n{\"url\": \"http://x\",",
       "url=http://x"},
      {"{\"sensitive_settings\": {\"pass\r\n    word\": \"se  \n\tcret\",", "password=secret"},
      {"{\"sensitive_settings\": {\"a\": \"b\", // trailing\n", ""},
  };
  for (const auto& [head, setting] : cases) {
    const std::string text = head + "\"n\": \"1\"},\n\"credentials\": [{\"target\": \"h\", "
                             "\"user\": \"ad\n  min  \n\", \"password\": \"p\"}]}";
    RecordMap credentials;
    const int parsed = Parse(text, credentials);
    if (setting.empty()) {
      EXPECT_EQ(ReadSettings(text), -1) << text;
      EXPECT_EQ(parsed, Parser::kNotJson);
      continue;
    }
    ASSERT_EQ(ReadSettings(text), static_cast<int>(ERR_SUCCEED)) << text;
    const std::string name = setting.substr(0, setting.find('='));
    EXPECT_EQ(Settings().at(name), setting.substr(name.size() + 1));
    ASSERT_EQ(parsed, Parser::kOk) << text;
    EXPECT_EQ(credentials.at("h/user"), "admin");
  }
}

TEST_F(IntakeTest, NestingBeyondTheLimitIsRefusedNotACrash) {
  const auto nested = [](int depth) {
    return "{\"sensitive_settings\": {\"k\": \"[[[\", \"deep\": " + std::string(depth, '[') + std::string(depth, ']') + "}}";
  };
  EXPECT_EQ(ReadSettings(nested(998)), static_cast<int>(ERR_SUCCEED));
  EXPECT_EQ(ReadSettings(nested(999)), -1);
  EXPECT_EQ(ReadSettings(std::string(200000, '[')), -1);
  // The parser skips three bytes after a leading 0xEF; so must the count.
  EXPECT_EQ(ReadSettings("\xEF\"a" + std::string(200000, '[')), -1);
}

TEST_F(IntakeTest, CredentialParserNumbersEachFaultAndLeavesRecordsUntouched) {
  const auto list = [](const std::string& entries) { return "{\"credentials\": [" + entries + "]}"; };
  const std::string h = R"({"target": "h", "user": "u", "password": "p"})";
  const std::vector<std::pair<std::string, int>> cases = {
      {list("") + ",", Parser::kNotJson},
      {R"({"sensitive_settings": {}})", Parser::kNoCredentialList},
      {R"({"credentials": [], "credentials": []})", Parser::kNoCredentialList},
      {R"({"x": {"credentials": []}})", Parser::kNoCredentialList},
      {list(R"({"target": "", "user": "u", "password": "p"})"), Parser::kBadEntry},
      {list(R"({"target": "h", "user": "u", "password": 1234})"), Parser::kBadEntry},
      {list(R"({"target": "h", "user": "u", "user": "v", "password": "p"})"), Parser::kBadEntry},
      {list(h + ", " + h), Parser::kDuplicateTarget},
  };
  for (const auto& [text, number] : cases) {
    RecordMap records{{"kept", "yes"}};
    EXPECT_EQ(Parse(text, records), number) << text;
    EXPECT_EQ(records, (RecordMap{{"kept", "yes"}})) << text;
  }
  RecordMap records;
  EXPECT_EQ(Parser().ParseFile(dir.File("absent.json"), records), Parser::kCannotOpen);
  EXPECT_EQ(Parse(R"({"credentials": [{"note": [1, {"x": 2}], "target": "caf\u00e9",
      "user": "a\"\\\/\t", "password": "\ud83d\ude00\u0000x", "port": 623}], "z": null})",
                  records),
            Parser::kOk);
  EXPECT_EQ(records, (RecordMap{{"caf\xC3\xA9/user", "a\"\\/\t"},
                                {"caf\xC3\xA9/password", std::string("\xF0\x9F\x98\x80\0x", 6)}}));
}

TEST_F(IntakeTest, CredentialParserTakesForJsonExactlyWhatTheLoaderTakes) {
  const std::string entry = R"({"credentials": [{"target": "h", "user": "u", "password": )";
  const std::vector<std::string> values = {
      "\"\xC0\x80\xED\xA0\x80\x7F\"", "\"\xFF\"", "\"a\tb\"", R"("\ud800")", R"("\x")", "1e400",
      "01", "1.", "+1", "nulls", std::string(500, '[') + std::string(500, ']')};
  std::vector<std::string> texts = {"\xEF\xBB\xBF{\"credentials\": []}",
                                    std::string("{\"credentials\": []}\0", 20), "[]",
                                    "{\"a\" \"b\"}", "{\"a\": 1 2}"};
  for (const std::string& value : values) texts.push_back(entry + value + "}]}");
  for (const std::string& text : texts) {
    RecordMap records;
    const bool parsed = Parse(text, records) != Parser::kNotJson;  // writes the file first
    EXPECT_EQ(parsed, LoaderAccepts()) << text;
  }
}

}  // namespace
