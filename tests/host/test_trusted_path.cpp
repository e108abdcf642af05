// The trust rule on its own: which owners, modes and links on the way to a
// path it accepts, as one table over a tree made for each case.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "suite/platform/TrustedPath.h"
#include "tests/support/TestSupport.h"

namespace {

using platform::FileResult;
using platform::LastLink;

TEST(TrustedPathTest, OwnersModesAndLinksOnTheWay) {
  testing_support::ScopedTempDir dir;
  const bool root = ::geteuid() == 0;
  // The tree of the cases: "theirs" and what is in it belong to nobody.
  const std::string tree =
      "cd '" + dir.path().string() + "' && umask 077 && mkdir own && touch own/key && "
      "mkdir -m 777 open && mkdir -m 1777 sticky && touch sticky/mine && "
      "touch own/shared && chmod 666 own/shared && ln -s \"$PWD/own/key\" own/link && "
      "ln -s \"$PWD/open\" own/to-open && ln -s \"$PWD/own/loop\" own/loop" +
      std::string(root ? " && mkdir -p -m 755 theirs/root && touch theirs/root/key && "
                         "touch sticky/their && ln -s \"$PWD/own/key\" own/their-link && "
                         "chown 65534:65534 theirs sticky/their && chown -h 65534 own/their-link"
                       : "");
  ASSERT_EQ(std::system(tree.c_str()), 0);
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
