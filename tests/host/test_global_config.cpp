// The global configuration file: where it is found, its line rules, and
// the codes for everything that yields no value.
#include <gtest/gtest.h>

#include "host/GlobalConfig.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::ScopedEnv;
using testing_support::ScopedTempDir;
using ZUdurov::GlobalConfig;

class GlobalConfigTest : public testing::Test {
 protected:
  void TearDown() override { GlobalConfig::Reload(); }

  // Points the configuration at a file holding `text`.
  void UseConfig(const std::string& text) {
    testing_support::WriteFile(dir.File("global.config"), text);
    env.emplace("KELVOX_GLOBAL_CONFIG", dir.File("global.config"));
    GlobalConfig::Reload();
  }

  std::string Get(const std::string& key, int expected) {
    std::string value = "stale";
    EXPECT_EQ(GlobalConfig::GetConfigItem(key, value), expected) << key;
    return value;
  }

  ScopedTempDir dir;
  std::optional<ScopedEnv> env;
};

TEST_F(GlobalConfigTest, ReadsTrimmedKeyValueLinesAndSkipsComments) {
  UseConfig(
      "# comment\n"
      "; another comment\n"
      "  ENCRYPT_SETTING_PATH =  settings.store  \n"
      "\n"
      "PATH_WITH_BACKSLASH=..\\data\\x.store\n"
      "EQUALS=a=b\n");
  EXPECT_EQ(Get("ENCRYPT_SETTING_PATH", GlobalConfig::kOk), "settings.store");
  EXPECT_EQ(Get("PATH_WITH_BACKSLASH", GlobalConfig::kOk), "..\\data\\x.store");
  EXPECT_EQ(Get("EQUALS", GlobalConfig::kOk), "a=b");
}

TEST_F(GlobalConfigTest, KeysAreCaseSensitive) {
  UseConfig("LOG_LEVEL=4\n");
  EXPECT_EQ(Get("log_level", GlobalConfig::kKeyAbsent), "");
}

TEST_F(GlobalConfigTest, EmptyValueIsNeverSuccess) {
  UseConfig("ENCRYPT_SETTING_PATH=\n");
  EXPECT_EQ(Get("ENCRYPT_SETTING_PATH", GlobalConfig::kValueEmpty), "");
}

TEST_F(GlobalConfigTest, MissingFileIsReported) {
  env.emplace("KELVOX_GLOBAL_CONFIG", dir.File("absent.config"));
  GlobalConfig::Reload();
  EXPECT_EQ(Get("LOG_LEVEL", GlobalConfig::kNoFile), "");
}

TEST_F(GlobalConfigTest, MalformedFileIsReportedOnceWithFileAndLine) {
  testing::internal::CaptureStderr();
  UseConfig("A=1\nthis line has no equals sign\n");
  EXPECT_EQ(Get("A", GlobalConfig::kMalformed), "");
  EXPECT_EQ(Get("A", GlobalConfig::kMalformed), "");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(dir.File("global.config")), std::string::npos) << err;
  EXPECT_NE(err.find("line 2"), std::string::npos) << err;
  EXPECT_EQ(err.find("line 2"), err.rfind("line 2")) << "reported more than once";
}

TEST_F(GlobalConfigTest, FileIsReadOncePerProcess) {
  UseConfig("A=1\n");
  EXPECT_EQ(Get("A", GlobalConfig::kOk), "1");
  testing_support::WriteFile(dir.File("global.config"), "A=2\n");
  EXPECT_EQ(Get("A", GlobalConfig::kOk), "1");
  GlobalConfig::Reload();
  EXPECT_EQ(Get("A", GlobalConfig::kOk), "2");
}

}  // namespace
