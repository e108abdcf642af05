// Where a store lives: which configured values are placed under a program
// directory, the one-time use of WRK_BIN_EXE, and a missing value.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>
#endif

#include <vector>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "errors/ErrorCatalogue.h"
#include "host/GlobalConfig.h"
#include "host/KelvoxDirectory.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::GetEnv;
using testing_support::SetEnv;
using ZUdurov::GlobalConfig;

constexpr char kVariable[] = "WRK_BIN_EXE";
constexpr char kBinary[] = "/opt/kelvox/bin/kelvox";
const std::string kBeside = "/opt/kelvox/bin/";

class LocationTest : public testing::Test {
 protected:
  ~LocationTest() override { GlobalConfig::Reload(); }

  // Configures the settings store as `value`, with WRK_BIN_EXE set afresh.
  void Configure(const std::string& value, const std::string& more = "") {
    testing_support::WriteFile(dir.File("global.config"),
                               "ENCRYPT_SETTING_PATH=" + value + "\n" + more);
    GlobalConfig::Reload();
    SetEnv(kVariable, kBinary);
  }
  std::string Locate(FileType type = SensitiveSetting,
                     int expected = static_cast<int>(ERR_SUCCEED)) {
    std::string path;
    EXPECT_EQ(command.GetEncryptedFilePath(EncryptedPathKeys[type], path), expected);
    return path;
  }

  testing_support::ScopedTempDir dir;
  testing_support::ScopedEnv config{"KELVOX_GLOBAL_CONFIG", dir.File("global.config")};
  testing_support::ScopedEnv variable{kVariable, std::nullopt};
  testing_support::ScopedLogCapture log{4};
  ENCRYPT command;
};

TEST_F(LocationTest, BareNamesAndLeadingDotComponentsGoBesideTheNamedExecutable) {
  // Forward slashes do not split, and nothing is normalised.
  for (const std::string value :
       {"s.store", ".\\data\\s.store", "..\\s.store", "C:/data/s.store", "/srv/s"}) {
    Configure(value);
    EXPECT_EQ(Locate(), kBeside + value);
    EXPECT_EQ(GetEnv(kVariable), std::nullopt) << value;
  }
  EXPECT_NE(log.Text().find("path=" + kBeside + "s.store"), std::string::npos);
}

TEST_F(LocationTest, OtherBackslashPathsAreLeftAloneAndKeepTheVariable) {
  for (const std::string value :
       {"C:\\data\\s.store", "\\s.store", "data\\s.store", ".x\\s.store"}) {
    Configure(value);
    EXPECT_EQ(Locate(), value);
    EXPECT_EQ(GetEnv(kVariable), kBinary);
  }
  EXPECT_EQ(log.Text().find("path="), std::string::npos);
}

TEST_F(LocationTest, VariableServesOnlyTheFirstTypeOfARun) {
  Configure("s.store", "ENCRYPTED_CREDENTIALS_FILE_PATH=c.store\n");
  EXPECT_EQ(Locate(SensitiveSetting), kBeside + "s.store");
  EXPECT_EQ(Locate(Credential), KelvoxDirectory::GetExePath("c.store"));
}

TEST_F(LocationTest, EmptyVariableCountsAsUnset) {
  Configure("..\\s.store");
  SetEnv(kVariable, "");
  EXPECT_EQ(Locate(), KelvoxDirectory::GetExePath("..\\s.store"));
}

TEST_F(LocationTest, BareExecutableNameHasAnEmptyParent) {
  Configure("s.store");
  SetEnv(kVariable, "kelvox");
  EXPECT_EQ(Locate(), "/s.store");
}

TEST_F(LocationTest, MissingValueReturnsTheLookupResultAndLogsIt) {
  testing::internal::CaptureStderr();  // the broken file is reported there
  for (const std::string config : {"OTHER=x\n", "ENCRYPT_SETTING_PATH=\n", "not a config line\n"}) {
    testing_support::WriteFile(dir.File("global.config"), config);
    GlobalConfig::Reload();
    std::string ignored;
    const int lookup = GlobalConfig::GetConfigItem(EncryptedPathKeys[SensitiveSetting], ignored);
    ASSERT_NE(lookup, GlobalConfig::kOk);
    EXPECT_EQ(Locate(SensitiveSetting, lookup & 0xFFFF), "") << config;
  }
  testing::internal::GetCapturedStderr();
  const std::string text = log.Text();
  EXPECT_NE(text.find("Get encrypted file path error."), std::string::npos) << text;
  EXPECT_EQ(text.find("Exiting  ENCRYPT::GetEncryptedFilePath"), std::string::npos) << text;
}

// Windows, where backslashes, drive letters and shares are the native case.
#if defined(_WIN32)

constexpr char kWindowsBinary[] = "C:\\Program Files\\kelvox\\kelvox.exe";
const std::string kWindowsBeside = "C:\\Program Files\\kelvox/";

// The folder of this test's executable, as the system names it.
std::string ProgramFolder() {
  std::vector<wchar_t> name(32768);
  const DWORD length =
      ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
  return boost::filesystem::path(std::wstring(name.data(), length)).parent_path().string();
}

TEST_F(LocationTest, DriveAndSharePathsAreLeftAloneOnWindows) {
  for (const std::string value : {"C:\\kelvox\\a.store", "\\\\server\\share\\a.store"}) {
    Configure(value);
    SetEnv(kVariable, kWindowsBinary);
    EXPECT_EQ(Locate(), value);
    EXPECT_EQ(GetEnv(kVariable), kWindowsBinary) << value;
  }
}

TEST_F(LocationTest, RelativeValuesGoBesideAWindowsExecutableWhichIsThenRemoved) {
  // A drive path written with forward slashes only is one component: placed.
  for (const std::string value : {"a.store", ".\\a.store", "..\\a.store", "C:/kelvox/a.store"}) {
    Configure(value);
    SetEnv(kVariable, kWindowsBinary);
    EXPECT_EQ(Locate(), kWindowsBeside + value);
    EXPECT_EQ(GetEnv(kVariable), std::nullopt) << value;
    // Gone from the process environment too, not only from the runtime's
    // copy: a program started from here must not inherit it.
    EXPECT_EQ(::GetEnvironmentVariableA(kVariable, nullptr, 0), 0u) << value;
  }
}

TEST_F(LocationTest, WithoutTheVariableTheRunningProgramsFolderIsUsed) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  for (const std::string value : {"a.store", ".\\a.store", "..\\a.store"}) {
    Configure(value);
    SetEnv(kVariable, std::nullopt);
    EXPECT_EQ(Locate(), folder + "\\" + value);
  }
  // Rooted in a drive, a forward-slash value names no place in that folder.
  Configure("C:/kelvox/a.store");
  SetEnv(kVariable, std::nullopt);
  EXPECT_EQ(Locate(), "C:/kelvox/a.store");
}

#endif  // _WIN32

}  // namespace
