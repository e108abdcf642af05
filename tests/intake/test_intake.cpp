// The input intake: which file gives which records, the text rules the two
// readers share (comments, line joining, what is JSON), the nesting limit,
// the gate that keeps non-JSON from the credential reader, and the log.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "Src/Misc/Common/PlainText.h"
#include "errors/ErrorCatalogue.h"
#include "host/CredentialFileParser.h"
#include "tests/support/EncryptProbe.h"
#include "tests/support/TestSupport.h"

namespace {

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
  // The settings reader on `text`: its code.
  int ReadSettings(const std::string& text) {
    Write(text);
    command = std::make_unique<EncryptProbe>(path);
    return command->ReadSensitiveSettingFile(path);
  }
  RecordMap Settings() const { return command->Records().at(SensitiveSetting); }
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
      EXPECT_EQ(ReadSettings(text), static_cast<int>(ERR_INVALID_FILE)) << text;
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
  EXPECT_EQ(ReadSettings(nested(999)), static_cast<int>(ERR_INVALID_FILE));
  EXPECT_EQ(ReadSettings(std::string(200000, '[')), static_cast<int>(ERR_INVALID_FILE));
  // The parser skips three bytes after a leading 0xEF; so must the count.
  EXPECT_EQ(ReadSettings("\xEF\"a" + std::string(200000, '[')), static_cast<int>(ERR_INVALID_FILE));
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

// What is JSON is decided once for both readers; the rows are the edges
// where the usual JSON libraries differ from the grammar encrypt has
// always accepted, each with the words encrypt's log gives.
TEST_F(IntakeTest, BothReadersTakeTheSameGrammarForJson) {
  const std::string entry = R"({"credentials": [{"target": "h", "user": "u", "password": )";
  const std::vector<std::pair<std::string, std::string>> values = {
      {"\"\xC0\x80\xED\xA0\x80\x7F\"", ""},  // overlong forms and encoded surrogates pass
      {"\"\xFF\"", "invalid code sequence"},
      {"\"\xC3\"", "invalid code sequence"},
      {"\"a\tb\"", "invalid code sequence"},
      {R"("\udc00")", "invalid codepoint, stray low surrogate"},
      {R"("\ud800")", "invalid codepoint, stray high surrogate"},
      {R"("\ud800\n")", "expected codepoint reference after high surrogate"},
      {R"("\ud800\u0041")", "expected low surrogate after high surrogate"},
      {R"("\x")", "invalid escape sequence"},
      {"1e400", ""},
      {std::string(400, '9'), ""},
      {"01", "expected '}' or ','"},
      {"1.", "need at least one digit after '.'"},
      {"1e+", "need at least one digit in exponent"},
      {"-x", "expected digits after -"},
      {"+1", "expected value"},
      {"nulls", "expected '}' or ','"},
      {"tru", "expected 'true'"},
      {std::string(500, '[') + std::string(500, ']'), ""},
  };
  std::vector<std::pair<std::string, std::string>> texts = {
      {"\xEF\xBB\xBF{\"credentials\": []}", ""},
      {std::string("{\"credentials\": []}\0", 20), "garbage after data"},
      {"[]", ""},
      {"{\"a\" \"b\"}", "expected ':'"},
      {"{\"a\": 1,}", "expected key string"},
      {"[1,]", "expected value"},
      {"", "expected value"},
      {"{\"a\": \"b", "unterminated string"},
      {std::string("\xEF\0\0{}", 5), ""},  // the two bytes after 0xEF are not looked at
      // Too deep is found first, wherever the text's other faults lie.
      {"{\"a\": 1 2 " + std::string(1001, '['), "nesting too deep"},
  };
  for (const auto& [value, fault] : values) texts.emplace_back(entry + value + "}]}", fault);
  for (const auto& [text, fault] : texts) {
    PlainRecords records;
    const SettingsReading reading = ReadSettingsText(text.data(), text.size(), records);
    EXPECT_EQ(reading.json.IsJson() ? "" : jsontext::Describe(reading.json.fault), fault) << text;
    EXPECT_EQ(Parse(text, records) == Parser::kNotJson, !fault.empty()) << text;
  }
}

// Edit names the place of a fault in the file as the user sees it: line
// and byte column before comment lines were dropped and lines joined.
TEST_F(IntakeTest, AFaultIsPlacedInTheFileNotInTheJoinedText) {
  const struct { const char* text; std::size_t line, column; } rows[] = {
      {"{\n  \"a\": 1,\n  // note\n  \"b\" 2\n}", 4, 7},
      {"{\"a\":\r\n 1 2}", 2, 4},
      {"{\"a\": \"b\n", 1, 9},
      {"// only a note\n", 1, 1},
      {"{\"a\": tr\n  ux}", 2, 4},
  };
  for (const auto& row : rows) {
    PlainRecords records;
    const SettingsReading reading = ReadSettingsText(row.text, std::strlen(row.text), records);
    ASSERT_EQ(reading.result, SettingsResult::kNotJson) << row.text;
    EXPECT_EQ(reading.json.where.line, row.line) << row.text;
    EXPECT_EQ(reading.json.where.column, row.column) << row.text;
  }
}

// A store's plaintext form, as decrypt writes it and edit opens it, read
// back by encrypt gives the same records, or the form says why it cannot.
TEST_F(IntakeTest, EveryStoreFormReadsBackAsTheSameRecords) {
  constexpr FileType kByPath = -1;
  enum Outcome { kSame, kDeclined, kMisfit, kNotText };
  const struct {
    const char* name;
    FileType type;
    RecordMap records;
    Outcome outcome;
  } rows[] = {
      {"settings", kByPath, {{"db", "x"}, {"port", "3128"}}, kSame},
      {"credentials", kByPath, {{"h/user", "u"}, {"h/password", "p"}, {"h2/user", ""}, {"h2/password", ""}}, kSame},
      {"empty, named by path", kByPath, {}, kSame},
      {"empty settings", SensitiveSetting, {}, kSame},
      {"empty credentials", Credential, {}, kDeclined},
      {"odd settings",
       SensitiveSetting,
       {{"", "e"}, {"a.b", "1"}, {"q\"\\/", "\n\t\x01\x7f\b\f\r"}, {"caf\xC3\xA9", "\xC0\x80\xED\xA0\x80"},
        {"a/user", "half"}, {"nul", std::string("a\0b", 3)}, {"1e400", "true"}, {"//", "// x"}},
       kSame},
      {"odd targets", Credential,
       {{"a/b/user", "u"}, {"a/b/password", "p"}, {"x\"y /user", " "}, {"x\"y /password", "\\u0041"},
        {"a/password/user", "1"}, {"a/password/password", "2"}},
       kSame},
      {"half a pair, named by path", kByPath, {{"h/user", "u"}}, kSame},
      {"half a pair", Credential, {{"h/user", "u"}}, kMisfit},
      {"a setting among credentials", Credential, {{"h/user", "u"}, {"h/password", "p"}, {"x", "y"}}, kMisfit},
      {"bytes that are not text", kByPath, {{"k", "\xFF"}}, kNotText},
      {"a key that is not text", Credential, {{"\x80/user", "u"}, {"\x80/password", "p"}}, kNotText},
  };
  for (const auto& row : rows) {
    const PlainForm form = FormOfStore(row.type, row.records);
    std::string text, key;
    const FormatFault fault = FormatPlainForm(row.records, form, text, key);
    EXPECT_EQ(fault, row.outcome == kMisfit    ? FormatFault::kMisfit
                     : row.outcome == kNotText ? FormatFault::kNotText
                                               : FormatFault::kNone) << row.name;
    if (fault != FormatFault::kNone) continue;
    RecordMap edited{{"old", "gone"}};
    std::string reason;
    EXPECT_TRUE(ReadPlainText(text, form, edited, reason)) << row.name << ": " << reason;
    EXPECT_EQ(edited, row.records) << row.name;
    EXPECT_EQ(EncryptTakesBack(row.records, form), row.outcome == kSame) << row.name;
    Write(text);
    const int code = Intake(path);
    if (row.outcome == kDeclined) {
      EXPECT_EQ(code, static_cast<int>(ERR_INVALID_FILE)) << row.name;
      continue;
    }
    ASSERT_EQ(code, static_cast<int>(ERR_SUCCEED)) << row.name << "\n" << text;
    const FileType read_as = form == PlainForm::kCredentials ? Credential : SensitiveSetting;
    ASSERT_EQ(command->Records().size(), 1u) << row.name;
    EXPECT_EQ(command->Records().at(read_as), row.records) << row.name;
  }
}

}  // namespace
