// The sensitive settings reader and its JSON loader: comment and joining
// rules, value texts, and the count of "sensitive_settings".
#include <gtest/gtest.h>

#include <stdexcept>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "Src/Misc/Encrypt/JsonFile.h"
#include "errors/ErrorCatalogue.h"
#include "tests/support/TestSupport.h"

namespace {

using boost::property_tree::json_parser::json_parser_error;

class Command : public ENCRYPT {
 public:
  const std::map<FileType, RecordMap>& records() const { return file_records; }
};

class SettingsReaderTest : public testing::Test {
 protected:
  int Read(const std::string& text) {
    testing_support::WriteFile(path, text);
    return command.ReadSensitiveSettingFile(path);
  }
  // The records read from a file whose settings node is `settings`.
  RecordMap Settings(const std::string& settings) {
    EXPECT_EQ(Read("{\"sensitive_settings\": " + settings + "}"), static_cast<int>(ERR_SUCCEED));
    return command.records().at(SensitiveSetting);
  }

  testing_support::ScopedTempDir dir;
  std::string path = dir.File("input.json");
  Command command;
};

TEST_F(SettingsReaderTest, OnlyLinesStartingWithSlashesAreComments) {
  EXPECT_EQ(Read("// head\n{\"sensitive_settings\":\n \t// indented\n{\"url\": \"http://x\"}}"),
            static_cast<int>(ERR_SUCCEED));
  EXPECT_EQ(command.records().at(SensitiveSetting), (RecordMap{{"url", "http://x"}}));
  EXPECT_THROW(Read("{\"sensitive_settings\": {\"a\": \"1\"} // note\n}"), json_parser_error);
}

TEST_F(SettingsReaderTest, LinesAreTrimmedAndJoinedWithNothingBetween) {
  EXPECT_EQ(Settings("{\"pass\r\n    word\": \"se\n\tcret\"}\r\n"),
            (RecordMap{{"password", "secret"}}));
}

TEST_F(SettingsReaderTest, UnopenableFileThrowsTheFixedText) {
  boost::property_tree::ptree tree;
  try {
    ReadJsonFile(dir.File("absent.json"), tree);
    FAIL() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "The json file can not be opened.");
  }
}

TEST_F(SettingsReaderTest, NestingBeyondTheLimitIsRefusedNotACrash) {
  const auto nested = [](int depth) {
    return "{\"sensitive_settings\": {\"k\": \"[[[\", \"deep\": " + std::string(depth, '[') +
           std::string(depth, ']') + "}}";
  };
  // The brackets inside the string do not count towards the depth.
  EXPECT_EQ(Read(nested(998)), static_cast<int>(ERR_SUCCEED));
  EXPECT_THROW(Read(nested(999)), json_parser_error);
  EXPECT_THROW(Read(std::string(200000, '[')), json_parser_error);
  // The parser skips three bytes after a leading 0xEF; so must the count.
  EXPECT_THROW(Read("\xEF\"a" + std::string(200000, '[')), json_parser_error);
}

TEST_F(SettingsReaderTest, ValuesKeepTheirTextAsWritten) {
  EXPECT_EQ(Settings(R"({"i": 42, "f": 4.20, "e": -0.5E+3, "t": true, "n": null, "o": {"x": "y"},
                        "l": [1, 2], "s": "\u00e9\n"})"),
            (RecordMap{{"i", "42"}, {"f", "4.20"}, {"e", "-0.5E+3"}, {"t", "true"}, {"n", "null"},
                       {"o", ""}, {"l", ""}, {"s", "\xC3\xA9\n"}}));
}

TEST_F(SettingsReaderTest, NamesAreVerbatimAndTheLaterDuplicateWins) {
  EXPECT_EQ(Settings(R"({"a.b": "1", "": "2", "A.b": "3", "a.b": "4"})"),
            (RecordMap{{"", "2"}, {"A.b", "3"}, {"a.b", "4"}}));
}

TEST_F(SettingsReaderTest, NodeWithoutMembersStoresAnEmptyMap) {
  EXPECT_EQ(Settings("{}"), RecordMap{});
  EXPECT_EQ(Settings("\"text\""), RecordMap{});
}

TEST_F(SettingsReaderTest, ArrayCollapsesIntoOneRecordHoldingTheLastElement) {
  EXPECT_EQ(Settings(R"(["a", "b"])"), (RecordMap{{"", "b"}}));
  EXPECT_EQ(Settings(R"(["a", {"b": "c"}])"), (RecordMap{{"", ""}}));
}

TEST_F(SettingsReaderTest, RereadingReplacesTheMap) {
  Settings(R"({"a": "1", "b": "2"})");
  EXPECT_EQ(Settings(R"({"c": "3"})"), (RecordMap{{"c", "3"}}));
}

TEST_F(SettingsReaderTest, NodeMustOccurExactlyOnceAtTheTop) {
  testing_support::ScopedLogCapture log(1);
  for (const char* text : {R"({"other": {}})", R"({"outer": {"sensitive_settings": {}}})",
                           R"({"sensitive_settings": {}, "sensitive_settings": {}})",
                           R"([{"sensitive_settings": {}}])", "42"}) {
    EXPECT_EQ(Read(text), static_cast<int>(ERR_GENERIC_FAILURE)) << text;
  }
  EXPECT_TRUE(command.records().empty());
  EXPECT_NE(log.Text().find("the plain text file is not match with the format of sensitive "
                            "setting's."),
            std::string::npos);
}

}  // namespace
