// The global configuration file: its line rules, the codes for everything
// that yields no value, and when it is read.
#include <gtest/gtest.h>

#include "host/GlobalConfig.h"
#include "tests/support/TestSupport.h"

namespace {

using ZUdurov::GlobalConfig;

std::string Get(const std::string& key, int expected) {
  std::string value = "stale";
  EXPECT_EQ(GlobalConfig::GetConfigItem(key, value), expected) << key;
  return value;
}

TEST(GlobalConfigTest, ReadsTrimmedKeyValueLinesOnceAndNeverAnEmptyValue) {
  testing_support::ScopedConfig config(
      "# comment\n; another comment\n  ENCRYPT_SETTING_PATH =  settings.store  \n\n"
      "PATH_WITH_BACKSLASH=..\\data\\x.store\nEQUALS=a=b\nEMPTY=\n");
  EXPECT_EQ(Get("ENCRYPT_SETTING_PATH", GlobalConfig::kOk), "settings.store");
  EXPECT_EQ(Get("PATH_WITH_BACKSLASH", GlobalConfig::kOk), "..\\data\\x.store");
  EXPECT_EQ(Get("EQUALS", GlobalConfig::kOk), "a=b");
  EXPECT_EQ(Get("EMPTY", GlobalConfig::kValueEmpty), "");
  EXPECT_EQ(Get("encrypt_setting_path", GlobalConfig::kKeyAbsent), "");
  testing_support::WriteFile(config.Path(), "EQUALS=2\n");
  EXPECT_EQ(Get("EQUALS", GlobalConfig::kOk), "a=b");  // read once until reloaded
  GlobalConfig::Reload();
  EXPECT_EQ(Get("EQUALS", GlobalConfig::kOk), "2");
}

TEST(GlobalConfigTest, MissingOrMalformedFilesYieldNothing) {
  testing_support::ScopedConfig config;
  {
    testing_support::ScopedEnv absent("KELVOX_GLOBAL_CONFIG", config.Path() + ".absent");
    GlobalConfig::Reload();
    EXPECT_EQ(Get("LOG_LEVEL", GlobalConfig::kNamedFileMissing), "");
  }
  testing::internal::CaptureStderr();
  config.Set("A=1\nthis line has no equals sign\n");
  EXPECT_EQ(Get("A", GlobalConfig::kMalformed), "");
  EXPECT_EQ(Get("A", GlobalConfig::kMalformed), "");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(config.Path()), std::string::npos) << err;
  EXPECT_NE(err.find("line 2"), std::string::npos) << err;
  EXPECT_EQ(err.find("line 2"), err.rfind("line 2")) << "reported more than once";
}

}  // namespace
