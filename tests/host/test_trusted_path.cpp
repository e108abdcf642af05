// The trust rule on its own: which owners, modes and links on the way to a
// path it accepts, as one table over a tree made for each case.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem.hpp>

#include "suite/platform/TrustedPath.h"
#include "tests/support/TestSupport.h"

namespace {

using platform::FileResult;
using platform::LastLink;

constexpr uid_t kNobody = 65534;

class TrustedPathTest : public testing::Test {
 protected:
  std::string Make(const std::string& name, mode_t mode, bool folder = true) {
    const std::string path = dir.File(name);
    if (folder) {
      boost::filesystem::create_directories(path);
    } else {
      testing_support::WriteFile(path, "x");
    }
    ::chmod(path.c_str(), mode);
    return path;
  }

  testing_support::ScopedTempDir dir;
};

TEST_F(TrustedPathTest, OwnersModesAndLinksOnTheWay) {
  const bool root = ::geteuid() == 0;
  Make("own", 0700);
  Make("own/key", 0600, false);
  Make("open", 0777);
  Make("sticky", 01777);
  Make("sticky/mine", 0600, false);
  Make("own/shared", 0666, false);
  ::symlink(dir.File("own/key").c_str(), dir.File("own/link").c_str());
  ::symlink(dir.File("open").c_str(), dir.File("own/to-open").c_str());
  ::symlink(dir.File("own/loop").c_str(), dir.File("own/loop").c_str());
  if (root) {
    Make("theirs", 0755);
    Make("theirs/root", 0700);
    Make("theirs/root/key", 0600, false);
    ::chown(dir.File("theirs").c_str(), kNobody, kNobody);
    Make("sticky/their", 0600, false);
    ::chown(dir.File("sticky/their").c_str(), kNobody, kNobody);
    ::symlink(dir.File("own/key").c_str(), dir.File("own/their-link").c_str());
    ::lchown(dir.File("own/their-link").c_str(), kNobody, kNobody);
  }
  const struct Case {
    const char* path;
    LastLink last;
    FileResult::Kind kind;
    const char* said;  // in the reason
    bool needs_root;
  } cases[] = {
      {"own/key", LastLink::kRefused, FileResult::kOk, "", false},
      {"own/missing/deeper", LastLink::kRefused, FileResult::kOk, "", false},
      {"own/../own/./key", LastLink::kRefused, FileResult::kOk, "", false},
      {"open/missing", LastLink::kRefused, FileResult::kUntrusted, "writable by group or others", false},
      {"sticky/mine", LastLink::kRefused, FileResult::kOk, "", false},
      {"sticky/missing", LastLink::kRefused, FileResult::kOk, "", false},
      {"own/shared", LastLink::kRefused, FileResult::kUntrusted, "writable by group or others", false},
      {"own/link", LastLink::kRefused, FileResult::kUntrusted, "symbolic link", false},
      {"own/link", LastLink::kFollowed, FileResult::kOk, "", false},
      {"own/to-open/x", LastLink::kFollowed, FileResult::kUntrusted, "open' is writable", false},
      {"own/loop", LastLink::kFollowed, FileResult::kBadPath, "loop", false},
      {"theirs/x", LastLink::kRefused, FileResult::kUntrusted, "owned by another user", true},
      {"sticky/their", LastLink::kRefused, FileResult::kUntrusted, "owned by another user", true},
      {"own/their-link", LastLink::kFollowed, FileResult::kUntrusted, "link", true},
      // Root's own folder ends the walk upwards: above it the rule looks no more.
      {"theirs/root/key", LastLink::kRefused, FileResult::kOk, "", true},
  };
  for (const Case& c : cases) {
    if (c.needs_root && !root) continue;
    const FileResult result = platform::CheckTrustedPath(dir.File(c.path), c.last);
    EXPECT_EQ(result.operator FileResult::Kind(), c.kind) << c.path << ": " << result.GetReason();
    EXPECT_NE(result.GetReason().find(c.said), std::string::npos) << c.path << ": " << result.GetReason();
  }
}

}  // namespace
