// exec and render end to end: the real program and stores, run with pipes
// as a service manager runs them. The settings store is attended (its
// passphrase on standard input), the credentials store unattended, so a
// run that needs both opens each in its own mode.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <boost/filesystem.hpp>

#include "tests/e2e/Home.h"
#include "tests/support/TestSupport.h"

namespace {

using e2e::Finished;
using testing_support::ReadFile;
using testing_support::WriteFile;

const std::string kPassphrase = "delivery pass 1\n";
const std::string kValue = "s3cr et";

class DeliveryE2eTest : public e2e::HomeTest<> {
 protected:
  DeliveryE2eTest() {
    WriteFile(dir.File("s.json"), "{\"sensitive_settings\": {\"db\": \"" + kValue + "\"}}");
    WriteFile(dir.File("c.json"),
              "{\"credentials\": [{\"target\": \"bmc\", \"user\": \"admin\", \"password\": \"pw\"}]}");
    EXPECT_EQ(Run({"encrypt", "--configfile", "@s.json"}, kPassphrase + kPassphrase).status, 0);
    EXPECT_EQ(Run({"encrypt", "--configfile", "@c.json", "--unattended"}).status, 0);
  }
};

TEST_F(DeliveryE2eTest, ExecHandsValuesToTheProgramOrNeverRunsIt) {
  const std::string touch = "touch " + dir.File("marker");
  const struct Row { const char* what; std::vector<std::string> args; int status; std::string output; } rows[] = {
      {"env", {"--env", "DB=settings:db", "--", "/bin/sh", "-c", "printf %s \"$DB\""}, 0, kValue},
      {"file", {"--file", "PW=credentials:bmc/password", "--", "/bin/sh", "-c", "cat \"$PW\""}, 0, "pw"},
      {"both stores, arguments as given", {"--file", "A=credentials:bmc/user", "--env", "B=settings:db", "--",
        "/bin/sh", "-c", "cat \"$A\"; printf '|%s' \"$B\" \"$@\"", "sh", "--help", "-h", "--", ""}, 0,
       "admin|" + kValue + "|--help|-h|--|"},
      {"a key not stored", {"--env", "A=settings:db", "--env", "B=settings:nope", "--", "/bin/sh", "-c", touch}, 1, ""},
      {"a bad name", {"--env", "A-B=settings:db", "--", "/bin/sh", "-c", touch}, 2, ""},
      {"a bad type", {"--env", "A=setting:db", "--", "/bin/sh", "-c", touch}, 2, ""},
      {"a name twice", {"--env", "A=settings:db", "--file", "A=settings:db", "--", "/bin/sh", "-c", touch}, 2, ""},
      {"no --", {"--env", "A=settings:db", "/bin/sh", "-c", touch}, 2, ""},
      {"no program", {"--env", "A=settings:db", "--"}, 2, ""},
      {"a program that is not there", {"--env", "A=settings:db", "--", dir.File("absent")}, 3, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<std::string> args = row.args;
    args.insert(args.begin(), "exec");
    const Finished run = Run(args, kPassphrase);
    EXPECT_EQ(run.status, row.status) << run.error;
    EXPECT_EQ(run.output, row.output);
    EXPECT_FALSE(boost::filesystem::exists(dir.File("marker")));
    EXPECT_EQ(run.error.find(kValue), std::string::npos);
  }
  EXPECT_EQ(ReadFile(dir.File("kelvox.log")).find(kValue), std::string::npos);
  // The program takes kelvox's place: the pid the test started is its own.
  e2e::PtySession session(Args({"exec", "--unattended", "--env", "P=credentials:bmc/password",
                                "--", "/bin/sh", "-c", "echo pid=$$"}),
                          Env());
  const std::string pid = "pid=" + std::to_string(session.Pid()) + "\n";
  const Finished same = session.Wait();
  EXPECT_EQ(same.status, 0);
  EXPECT_NE(same.output.find(pid), std::string::npos) << same.output;
}

TEST_F(DeliveryE2eTest, RenderWritesOnlyWhatChangedAndNeverThroughALink) {
  WriteFile(dir.File("t"), "a={{kelvox:settings:db}} b={{ other }} {{kelvox:credentials:bmc/user}}\n");
  WriteFile(dir.File("missing"), "{{kelvox:settings:db}}{{kelvox:credentials:bmc/nope}}\n");
  WriteFile(dir.File("typo"), "{{kelvox:setting:db}}\n");
  WriteFile(dir.File("target"), "kept\n");
  boost::filesystem::permissions(dir.File("target"), boost::filesystem::owner_read | boost::filesystem::owner_write);
  boost::filesystem::create_symlink(dir.File("target"), dir.File("link"));
  const std::string rendered = "a=" + kValue + " b={{ other }} admin\n";
  const struct Row { const char* what; std::vector<std::string> args; int status; const char* file; std::string content; unsigned mode; } rows[] = {
      {"written", {"--template", "@t", "--output", "@out"}, 0, "out", rendered, 0600},
      {"unchanged", {"--template", "@t", "--output", "@out"}, 0, "out", rendered, 0600},
      {"a key not stored", {"--template", "@missing", "--output", "@out"}, 1, "out", rendered, 0600},
      {"a placeholder mistyped", {"--template", "@typo", "--output", "@out"}, 7, "out", rendered, 0600},
      {"--mode", {"--template", "@t", "--output", "@wide", "--mode", "0644"}, 0, "wide", rendered, 0644},
      {"--mode with write for group", {"--template", "@t", "--output", "@group", "--mode", "664"}, 2, "group", "", 0},
      {"--mode with set-id", {"--template", "@t", "--output", "@setid", "--mode", "4755"}, 2, "setid", "", 0},
      {"a link at the output", {"--template", "@t", "--output", "@link"}, 11, "target", "kept\n", 0600},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string file = dir.File(row.file);
    // An old modification time: a rewrite would change it.
    const utimbuf old{1000, 1000};
    struct stat before {};
    const bool existed = ::utime(file.c_str(), &old) == 0 && ::stat(file.c_str(), &before) == 0;
    std::vector<std::string> args = row.args;
    args.insert(args.begin(), "render");
    const Finished run = Run(args, kPassphrase);
    EXPECT_EQ(run.status, row.status) << run.error;
    EXPECT_EQ(run.output.find(kValue), std::string::npos);
    struct stat after {};
    if (row.mode == 0) {
      EXPECT_NE(::stat(file.c_str(), &after), 0);
      continue;
    }
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(ReadFile(file), row.content);
    EXPECT_EQ(after.st_mode & 07777u, row.mode);
    EXPECT_EQ(existed && after.st_mtime == 1000, row.status != 0 || run.output.find("unchanged") != std::string::npos);
  }
  EXPECT_TRUE(boost::filesystem::is_symlink(dir.File("link")));
}

}  // namespace
