// The host program as automation runs it: no terminal, streams and exit
// statuses checked.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include "tests/e2e/Home.h"
#include "tests/support/TestSupport.h"

namespace {

using e2e::Finished;
using e2e::RunWithPipes;

const std::string kKelvox = KELVOX_PROGRAM;

using HostProgramTest = e2e::HomeTest<>;

TEST_F(HostProgramTest, MissingConfigFileOptionIsRefusedOnStandardError) {
  const Finished run = Run({"encrypt", "--unattended"});
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(run.error, "You must specify configure file by --configfile\nkelvox: Invalid parameter. (code 5)\n"
                       "kelvox: details are in the log " + dir.File("kelvox.log") + "\n");
  EXPECT_NE(testing_support::ReadFile(dir.File("kelvox.log")).find("You must specify configure file"),
            std::string::npos);
}

TEST_F(HostProgramTest, HelpVersionAndUsageErrorsHaveTheirStatusAndStream) {
  const Finished help = Run({"--help"}), version = Run({"--version"}), unknown = Run({"decrypts"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(help.output.find("usage: kelvox COMMAND"), std::string::npos);
  EXPECT_EQ(version.output.rfind("kelvox ", 0), 0u);
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.error.find("unknown command 'decrypts'"), std::string::npos);
}

TEST_F(HostProgramTest, ExceptionFromTheCommandIsReportedNotAnAbort) {
  // A link to itself: the command's status query throws for it.
  const std::string loop = dir.File("loop.json");
  boost::filesystem::create_symlink(loop, loop);
  const Finished run = Run({"encrypt", "--configfile", loop});
  EXPECT_EQ(run.status, 70);
  EXPECT_EQ(run.error.rfind("kelvox: encrypt failed: ", 0), 0u) << run.error;
  EXPECT_NE(run.error.find(loop), std::string::npos) << run.error;
  EXPECT_EQ(run.error.find("terminate called"), std::string::npos);
}

TEST_F(HostProgramTest, CommandHelpRunsNothingAndAStrayOptionStopsTheRun) {
  testing_support::WriteFile(dir.File("in.json"), "{\"sensitive_settings\": {\"a\": \"1\"}}");
  const Finished help = Run({"encrypt", "--configfile", dir.File("in.json"), "--unattended", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output.rfind("usage: kelvox encrypt --configfile FILE", 0), 0u) << help.output;
  const Finished typo = Run({"encrypt", "--configfile", dir.File("in.json"), "--unatended"});
  EXPECT_EQ(typo.status, 2);
  EXPECT_NE(typo.error.find("did you mean '--unattended'?"), std::string::npos) << typo.error;
  EXPECT_FALSE(boost::filesystem::exists(dir.File("settings.store")));
}

// Output that reaches nobody is a failure, with its cause, for every
// command that prints: its data written raw, its console lines, the host's own.
TEST_F(HostProgramTest, OutputToAClosedOrFullStandardOutputFailsWithItsCause) {
  testing_support::WriteFile(dir.File("in.json"), "{\"sensitive_settings\": {\"a\": \"1\"}}");
  ASSERT_EQ(Run({"encrypt", "--configfile", dir.File("in.json"), "--unattended"}).status, 0);
  const std::string recipient = Run({"hostkey", "recipient"}).output;
  const std::vector<std::vector<std::string>> commands = {
      {"get", "--type", "settings", "--key", "a"},
      {"list", "--type", "settings", "--json"},
      {"verify", "--type", "settings", "--json"},
      {"decrypt", "--type", "settings", "--output", "-"},
      {"export", "--type", "settings", "--output", "-", "--recipient", recipient.substr(0, recipient.find('\n'))},
      {"hostkey", "status"},
      {"hostkey", "recipient"},
      {"--version"},
  };
  const struct { e2e::Output output; const char* cause; } outputs[] = {
      {e2e::Output::kClosed, "standard output is closed"}, {e2e::Output::kFull, "No space left on device"}};
  for (const auto& command : commands) {
    for (const auto& output : outputs) {
      SCOPED_TRACE(command.front() + " " + command.back() + ", " + output.cause);
      const Finished run = RunWithPipes(Args(command), Env(), "", output.output);
      EXPECT_EQ(run.status, 11) << run.error;
      EXPECT_NE(run.error.find(output.cause), std::string::npos) << run.error;
    }
  }
}

TEST_F(HostProgramTest, UnloadablePlugInIsNamedWithTheReason) {
  // A copy of the program in a folder without the plug-in, next to the libraries.
  namespace fs = boost::filesystem;
  const fs::path build_bin = fs::path(kKelvox).parent_path();
  fs::create_directories(dir.path() / "bin");
  fs::create_directory_symlink(build_bin.parent_path() / "lib", dir.path() / "lib");
  const fs::path copy = dir.path() / "bin" / "kelvox";
  fs::copy_file(kKelvox, copy);
  const Finished run = RunWithPipes({copy.string(), "encrypt", "--configfile", "x"}, Env());
  EXPECT_EQ(run.status, 31);
  EXPECT_NE(run.error.find((dir.path() / "bin" / "kelvox_encrypt.so").string()), std::string::npos) << run.error;
}

}  // namespace
