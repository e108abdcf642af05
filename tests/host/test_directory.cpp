// Paths under the program directory.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include "host/KelvoxDirectory.h"

namespace {

TEST(KelvoxDirectoryTest, ProgramDirectoryHoldsThisExecutable) {
  const boost::filesystem::path dir = KelvoxDirectory::GetExeDirectory();
  EXPECT_TRUE(dir.is_absolute());
  EXPECT_TRUE(boost::filesystem::exists(dir / "test_directory"));
}

TEST(KelvoxDirectoryTest, RelativeNameIsJoinedAsWritten) {
  const std::string dir = KelvoxDirectory::GetExeDirectory();
  EXPECT_EQ(KelvoxDirectory::GetExePath("settings.store"), dir + "/settings.store");
  EXPECT_EQ(KelvoxDirectory::GetExePath("../x/./y.store"), dir + "/../x/./y.store");
}

TEST(KelvoxDirectoryTest, AbsoluteNameIsReturnedUnchanged) {
  EXPECT_EQ(KelvoxDirectory::GetExePath("/var/lib/kelvox/a.store"), "/var/lib/kelvox/a.store");
}

}  // namespace
