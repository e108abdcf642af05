// The input intake: path checks, which readers run on which file, what is
// stored, and what reaches the log.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "errors/ErrorCatalogue.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = boost::filesystem;
using testing_support::ScopedLogCapture;

constexpr char kCredentials[] =
    R"({"credentials": [{"target": "h1", "user": "u1", "password": "p1"}]})";

class Command : public ENCRYPT {
 public:
  void SetConfigFile(const std::string& path) { context.options["configfile"] = path; }
  const std::map<FileType, RecordMap>& records() const { return file_records; }
};

class IntakeTest : public testing::Test {
 protected:
  int Intake(const std::string& file) {
    command.SetConfigFile(file);
    return command.ReadFileIntoMemory();
  }
  int IntakeText(const std::string& text) {
    testing_support::WriteFile(path, text);
    return Intake(path);
  }
  static std::string Example(const std::string& name) {
    return std::string(KELVOX_EXAMPLES) + "/" + name;
  }
  const RecordMap& Stored(FileType type) const { return command.records().at(type); }
  static bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
  // False where links cannot be made (Windows without the privilege).
  bool Link(const std::string& target, const std::string& name) {
    boost::system::error_code error;
    fs::create_symlink(target, dir.path() / name, error);
    // Some platforms report success without making the link.
    return !error && fs::is_symlink(fs::symlink_status(dir.path() / name, error));
  }

  testing_support::ScopedTempDir dir;
  std::string path = dir.File("input.json");
  Command command;
};

TEST_F(IntakeTest, SettingsFileIsStoredAfterBothReadersRan) {
  ScopedLogCapture log(4);
  EXPECT_EQ(Intake(Example("settings.json")), static_cast<int>(ERR_SUCCEED));
  EXPECT_EQ(command.records().size(), 1u);
  EXPECT_EQ(Stored(SensitiveSetting).at("PROXY_PORT"), "3128");
  const std::string text = log.Text();
  EXPECT_TRUE(Has(text, "check file path: " + Example("settings.json")));
  EXPECT_TRUE(Has(text, "check file type: 0"));
  EXPECT_TRUE(Has(text, "check file type: 1"));
  EXPECT_TRUE(Has(text, "Parse credential plain text error: 3"));
  EXPECT_TRUE(Has(text, "Exiting  ENCRYPT::ReadFileIntoMemory"));
}

TEST_F(IntakeTest, CredentialFileIsStoredAloneAlsoThroughASymbolicLink) {
  if (!Link(Example("credentials.json"), "link.json")) GTEST_SKIP() << "no symbolic links";
  EXPECT_EQ(Intake(dir.File("link.json")), static_cast<int>(ERR_SUCCEED));
  EXPECT_EQ(command.records().size(), 1u);
  EXPECT_EQ(Stored(Credential).at("192.0.2.17/user"), "root");
}

TEST_F(IntakeTest, FileBothReadersAcceptStoresBothTypes) {
  EXPECT_EQ(Intake(Example("both.json")), static_cast<int>(ERR_SUCCEED));
  EXPECT_EQ(Stored(SensitiveSetting).size(), 2u);
  EXPECT_EQ(Stored(Credential).size(), 4u);
}

TEST_F(IntakeTest, EmptySettingsNodeIsEnoughToSucceed) {
  EXPECT_EQ(IntakeText(R"({"sensitive_settings": {}})"), static_cast<int>(ERR_SUCCEED));
  EXPECT_TRUE(Stored(SensitiveSetting).empty());
}

TEST_F(IntakeTest, RereadingReplacesAMapAndKeepsTheOtherTypes) {
  ASSERT_EQ(Intake(Example("both.json")), static_cast<int>(ERR_SUCCEED));
  EXPECT_EQ(IntakeText(kCredentials), static_cast<int>(ERR_SUCCEED));
  EXPECT_EQ(Stored(Credential), (RecordMap{{"h1/password", "p1"}, {"h1/user", "u1"}}));
  EXPECT_EQ(Stored(SensitiveSetting).size(), 2u);
}

TEST_F(IntakeTest, LogNamesSettingsButCarriesNoValue) {
  ScopedLogCapture log(4);
  EXPECT_EQ(IntakeText(R"({"sensitive_settings": {"db_password": "SETTING-SECRET"},
      "credentials": [{"target": "h", "user": "USER-SECRET", "password": "PASSWORD-SECRET"}]})"),
            static_cast<int>(ERR_SUCCEED));
  EXPECT_TRUE(Has(log.Text(), "Parse setting name: db_password"));
  EXPECT_FALSE(Has(log.Text(), "SECRET"));
}

// ---- Inputs that are refused ----

TEST_F(IntakeTest, MissingPathDoesNotExist) {
  ScopedLogCapture log(1);
  EXPECT_EQ(Intake(dir.File("absent.json")), static_cast<int>(ERR_FILE_NOT_EXIST));
  EXPECT_EQ(Intake(""), static_cast<int>(ERR_FILE_NOT_EXIST));
  if (Link(dir.File("absent.json"), "dangling.json")) {
    EXPECT_EQ(Intake(dir.File("dangling.json")), static_cast<int>(ERR_FILE_NOT_EXIST));
  }
  const std::string absent = dir.File("absent.json");
  EXPECT_TRUE(Has(log.Text(), "Customer specify file: " + absent + " is not exist."));
  EXPECT_TRUE(Has(log.Text(), "Customer specify file:  is not exist."));
}

TEST_F(IntakeTest, DirectoryIsNotARegularFile) {
  ScopedLogCapture log(1);
  const std::string folder = dir.path().string();
  EXPECT_EQ(Intake(folder), static_cast<int>(ERR_INVALID_FILE));
  EXPECT_TRUE(Has(log.Text(), "Customer specify file: " + folder + " is not a regular file."));
}

TEST_F(IntakeTest, StatusFailureOtherThanMissingIsThrown) {
  if (!Link("loop-b", "loop-a") || !Link("loop-a", "loop-b")) GTEST_SKIP() << "no symbolic links";
  EXPECT_THROW(Intake(dir.File("loop-a")), fs::filesystem_error);
}

TEST_F(IntakeTest, TextThatIsNotJsonNeverReachesTheCredentialReader) {
  // Empty, comments only, and valid credentials but for a note at the end.
  for (const std::string& text : {std::string(), std::string("  // a note\n\n"),
                                  std::string(kCredentials) + " // note"}) {
    ScopedLogCapture log(4);
    EXPECT_EQ(IntakeText(text), static_cast<int>(ERR_INVALID_FILE)) << text;
    EXPECT_TRUE(Has(log.Text(), "Parse file error."));
    EXPECT_FALSE(Has(log.Text(), "ReadCredentialFile"));
  }
  EXPECT_TRUE(command.records().empty());
}

TEST_F(IntakeTest, JsonThatBothReadersDeclineIsInvalid) {
  EXPECT_EQ(IntakeText(R"({"settings": {"a": "b"}})"), static_cast<int>(ERR_INVALID_FILE));
  EXPECT_TRUE(command.records().empty());
}

TEST_F(IntakeTest, EmptyCredentialListIsDeclinedWithParserResultZero) {
  ScopedLogCapture log(1);
  EXPECT_EQ(IntakeText(R"({"credentials": []})"), static_cast<int>(ERR_INVALID_FILE));
  EXPECT_TRUE(Has(log.Text(), "Parse credential plain text error: 0"));
  EXPECT_EQ(command.ReadCredentialFile(path), static_cast<int>(ERR_READ_FILE));
}

}  // namespace
