// Paths under the program directory.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include "host/KelvoxDirectory.h"

namespace {

#if defined(_WIN32)
constexpr char kSeparator[] = "\\";
constexpr char kExecutable[] = "test_directory.exe";
#else
constexpr char kSeparator[] = "/";
constexpr char kExecutable[] = "test_directory";
#endif

TEST(KelvoxDirectoryTest, RelativeNamesJoinThisExecutablesFolderAsWritten) {
  const std::string dir = KelvoxDirectory::GetExeDirectory();
  EXPECT_TRUE(boost::filesystem::path(dir).is_absolute());
  EXPECT_TRUE(boost::filesystem::exists(boost::filesystem::path(dir) / kExecutable));
  EXPECT_EQ(KelvoxDirectory::GetExePath("settings.store"), dir + kSeparator + "settings.store");
  EXPECT_EQ(KelvoxDirectory::GetExePath("../x/./y.store"), dir + kSeparator + "../x/./y.store");
}

TEST(KelvoxDirectoryTest, AbsoluteNameIsReturnedUnchanged) {
#if defined(_WIN32)
  for (const char* name : {"C:\\kelvox\\a.store", "\\\\server\\share\\a.store",
                           "\\kelvox\\a.store", "D:a.store", "C:/kelvox/a.store"}) {
    EXPECT_EQ(KelvoxDirectory::GetExePath(name), name);
  }
#else
  EXPECT_EQ(KelvoxDirectory::GetExePath("/var/lib/kelvox/a.store"), "/var/lib/kelvox/a.store");
#endif
}

}  // namespace
