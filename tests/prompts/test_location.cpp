// Where a store lives: which configured values are placed under a program
// directory, the one-time use of WRK_BIN_EXE, and a missing value.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>
#endif

#include <algorithm>
#include <optional>
#include <vector>

#include "Src/Misc/Common/StoreLocation.h"
#include "host/GlobalConfig.h"
#include "host/KelvoxDirectory.h"
#include "tests/support/EncryptProbe.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::GetEnv;
using testing_support::SetEnv;

constexpr char kVariable[] = "WRK_BIN_EXE";
constexpr char kSame[] = "as configured";

// binary: WRK_BIN_EXE; expected kSame: the value unchanged; a used variable is removed.
struct Placement { std::string value; std::optional<std::string> binary; std::string expected; bool variable_used; };

class LocationTest : public testing::Test {
 protected:
  // The settings store's path for a configured `value` (or a whole `config_text`).
  std::string Locate(const std::string& value, int expected = 0, const std::string& config_text = "") {
    config.Set(config_text.empty() ? "ENCRYPT_SETTING_PATH=" + value + "\nENCRYPTED_CREDENTIALS_FILE_PATH=c.store\n" : config_text);
    std::string path;
    EXPECT_EQ(command.GetEncryptedFilePath(EncryptedPathKeys[SensitiveSetting], path), expected);
    return path;
  }

  testing_support::ScopedConfig config;
  testing_support::ScopedEnv variable{kVariable, std::nullopt};
  EncryptProbe command;
};

TEST_F(LocationTest, RelativeValuesArePlacedBesideTheProgramOnce) {
  const std::string bin = "/opt/kelvox/bin/kelvox";
  std::vector<Placement> cases = {
      // Only backslashes split, and nothing is normalised.
      {"s.store", bin, "/opt/kelvox/bin/s.store", true},
      {".\\data\\s.store", bin, "/opt/kelvox/bin/.\\data\\s.store", true},
      {"..\\s.store", bin, "/opt/kelvox/bin/..\\s.store", true},
      {"C:/data/s.store", bin, "/opt/kelvox/bin/C:/data/s.store", true},
      {"C:\\data\\s.store", bin, kSame, false},
      {"\\s.store", bin, kSame, false},
      {"data\\s.store", bin, kSame, false},
      {".x\\s.store", bin, kSame, false},
      {"s.store", "kelvox", "/s.store", true},
      {"..\\s.store", "", KelvoxDirectory::GetExePath("..\\s.store"), false},
      {"..\\s.store", std::nullopt, KelvoxDirectory::GetExePath("..\\s.store"), false},
  };
#if defined(_WIN32)
  const std::string windows_bin = "C:\\Program Files\\kelvox\\kelvox.exe";
  for (const std::string value : {"a.store", ".\\a.store", "C:/kelvox/a.store"}) {
    cases.push_back({value, windows_bin, "C:\\Program Files\\kelvox/" + value, true});
  }
  cases.push_back({"\\\\server\\share\\a.store", windows_bin, kSame, false});
#endif
  for (const Placement& c : cases) {
    SetEnv(kVariable, c.binary);
    EXPECT_EQ(Locate(c.value), c.expected == kSame ? c.value : c.expected) << c.value;
    if (c.variable_used) {
      EXPECT_EQ(GetEnv(kVariable), std::nullopt) << c.value;
    } else if (c.binary && !c.binary->empty()) {
      EXPECT_EQ(GetEnv(kVariable), c.binary) << c.value;
    }
#if defined(_WIN32)
    // Gone from the process environment too: a program started from here
    // must not inherit it.
    if (c.variable_used) {
      EXPECT_EQ(::GetEnvironmentVariableA(kVariable, nullptr, 0), 0u);
    }
#endif
  }
  // A second type of the same run no longer sees the variable.
  SetEnv(kVariable, bin);
  ASSERT_EQ(Locate("s.store"), "/opt/kelvox/bin/s.store");
  std::string second;
  ASSERT_EQ(command.GetEncryptedFilePath(EncryptedPathKeys[Credential], second), 0);
  EXPECT_EQ(second, KelvoxDirectory::GetExePath("c.store"));
}

// Wherever a command puts a store (a command of one store, or the second
// type of an encrypt run after the variable was used up), the host key's
// administration, which must see every store, looks there.
TEST_F(LocationTest, EveryPlaceACommandUsesIsAPlaceTheHostKeyLooksAt) {
  for (const std::string value : {"c.store", ".\\c.store", "..\\c.store", "data\\c.store",
                                  "/abs/c.store", "C:/c.store"}) {
    for (const std::optional<std::string>& binary :
         {std::optional<std::string>("/opt/kelvox/bin/kelvox"), std::optional<std::string>()}) {
      config.Set("ENCRYPT_SETTING_PATH=s.store\nENCRYPTED_CREDENTIALS_FILE_PATH=" + value + "\n");
      std::string alone, first, second;
      SetEnv(kVariable, binary);
      ASSERT_EQ(LocateStore(EncryptedPathKeys[Credential], alone), 0u);
      SetEnv(kVariable, binary);
      ASSERT_EQ(LocateStore(EncryptedPathKeys[SensitiveSetting], first), 0u);
      ASSERT_EQ(LocateStore(EncryptedPathKeys[Credential], second), 0u);
      SetEnv(kVariable, binary);
      std::vector<std::string> places;
      ASSERT_EQ(LocateStorePlaces(EncryptedPathKeys[Credential], places), 0u);
      for (const std::string& used : {alone, second}) {
        EXPECT_NE(std::find(places.begin(), places.end(), used), places.end())
            << value << " at " << used;
      }
    }
  }
}

// Callers tell only a configuration that cannot be read from one that names
// no store; the latter's causes are one to them.
TEST_F(LocationTest, MissingValueGivesNoPathAndAFailure) {
  testing::internal::CaptureStderr();  // the broken file is reported there
  for (const char* text : {"OTHER=x\n", "ENCRYPT_SETTING_PATH=\n"}) {
    config.Set(text);
    std::string path;
    EXPECT_NE(command.GetEncryptedFilePath(EncryptedPathKeys[SensitiveSetting], path), 0) << text;
    EXPECT_EQ(path, "") << text;
  }
  EXPECT_EQ(Locate("", ZUdurov::GlobalConfig::kMalformed, "not a config line\n"), "");
  testing::internal::GetCapturedStderr();
}

}  // namespace
