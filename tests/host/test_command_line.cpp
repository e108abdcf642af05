// The host program's command-line rules.
#include <gtest/gtest.h>

#include "suite/kelvox/CommandLine.h"

namespace {

using Options = std::map<std::string, std::string>;

CommandLine Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

TEST(CommandLineTest, OptionsTakeSeparateOrJoinedValues) {
  const CommandLine line = Parse({"remove", "--store", "a.store", "--key=x=y"});
  ASSERT_EQ(line.action, CommandLine::Action::kRun);
  EXPECT_EQ(line.command, "remove");
  EXPECT_EQ(line.context.options, (Options{{"store", "a.store"}, {"key", "x=y"}}));
}

TEST(CommandLineTest, FlagsMapToEmptyStrings) {
  const CommandLine line = Parse({"encrypt", "--unattended", "--quiet", "--configfile="});
  EXPECT_EQ(line.context.options,
            (Options{{"unattended", ""}, {"quiet", ""}, {"configfile", ""}}));
}

TEST(CommandLineTest, DashedArgumentIsNeverAValue) {
  const CommandLine line = Parse({"encrypt", "--configfile", "--quiet"});
  EXPECT_EQ(line.context.options, (Options{{"configfile", ""}, {"quiet", ""}}));
}

TEST(CommandLineTest, RepeatedOptionKeepsTheLastValue) {
  const CommandLine line = Parse({"encrypt", "--configfile", "a", "--configfile", "b"});
  EXPECT_EQ(line.context.options.at("configfile"), "b");
}

TEST(CommandLineTest, UsageErrors) {
  EXPECT_EQ(Parse({}).action, CommandLine::Action::kUsageError);
  EXPECT_EQ(Parse({"decrypts"}).action, CommandLine::Action::kUsageError);
  EXPECT_EQ(Parse({"ENCRYPT"}).action, CommandLine::Action::kUsageError);
  EXPECT_EQ(Parse({"encrypt", "stray"}).action, CommandLine::Action::kUsageError);
  EXPECT_EQ(Parse({"encrypt", "--a", "1", "2"}).action, CommandLine::Action::kUsageError);
  EXPECT_EQ(Parse({"encrypt", "--"}).action, CommandLine::Action::kUsageError);
  EXPECT_EQ(Parse({"--configfile", "a", "encrypt"}).action, CommandLine::Action::kUsageError);
  EXPECT_NE(Parse({"decrypts"}).error.find("'decrypts'"), std::string::npos);
}

TEST(CommandLineTest, OptionOutsideTheCommandsTableIsRefusedWithTheClosest) {
  const struct {
    std::vector<std::string> args;
    const char* named;
    const char* closest;
  } cases[] = {
      {{"encrypt", "--configfile", "a", "--unatended"}, "'--unatended'", "'--unattended'"},
      {{"encrypt", "--configfile", "a", "--Quiet"}, "'--Quiet'", "'--quiet'"},
      {{"encrypt", "--configfile", "a", "--dry-run"}, "'--dry-run'", "'--"},
      {{"list", "--type", "settings", "--output", "f"}, "'--output'", "'--"},
      {{"rekey", "--store", "s", "--to-unatended"}, "'--to-unatended'", "'--to-unattended'"},
  };
  for (const auto& c : cases) {
    const CommandLine line = Parse(c.args);
    EXPECT_EQ(line.action, CommandLine::Action::kUsageError) << c.named;
    EXPECT_EQ(line.command, c.args[0]);
    EXPECT_NE(line.error.find(c.named), std::string::npos) << line.error;
    EXPECT_NE(line.error.find(std::string("did you mean ") + c.closest), std::string::npos)
        << line.error;
  }
  // Every option a command lists in its usage passes.
  EXPECT_EQ(Parse({"decrypt", "--store", "s", "--unattended", "--output", "f", "--force"}).action,
            CommandLine::Action::kRun);
  EXPECT_EQ(Parse({"rekey", "--type", "t", "--to-attended", "--to-unattended"}).action,
            CommandLine::Action::kRun);
}

TEST(CommandLineTest, CommandHelpWinsOverEverythingElse) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"encrypt", "--configfile", "x", "--unattended", "--help"},
           {"remove", "--help", "--dry-run"}}) {
    const CommandLine line = Parse(args);
    EXPECT_EQ(line.action, CommandLine::Action::kCommandHelp);
    EXPECT_EQ(line.command, args[0]);
  }
}

TEST(CommandLineTest, HelpAndVersion) {
  EXPECT_EQ(Parse({"--help"}).action, CommandLine::Action::kHelp);
  EXPECT_EQ(Parse({"--version"}).action, CommandLine::Action::kVersion);
}

}  // namespace
