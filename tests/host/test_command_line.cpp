// The host program's command-line rules.
#include <gtest/gtest.h>

#include "suite/kelvox/CommandLine.h"

namespace {

using Options = std::map<std::string, std::string>;

TEST(CommandLineTest, OptionsTakeSeparateOrJoinedValuesAndFlagsAreEmpty) {
  const std::vector<std::pair<std::vector<std::string>, Options>> cases = {
      {{"encrypt", "--configfile=x=y"}, {{"configfile", "x=y"}}},
      {{"encrypt", "--unattended", "--quiet", "--configfile="}, {{"unattended", ""}, {"quiet", ""}, {"configfile", ""}}},
      {{"encrypt", "--configfile", "--quiet"}, {{"configfile", ""}, {"quiet", ""}}},
      {{"encrypt", "--configfile", "a", "--configfile", "b"}, {{"configfile", "b"}}},
  };
  for (const auto& [args, options] : cases) {
    const CommandLine line = ParseCommandLine(args);
    ASSERT_EQ(line.action, CommandLine::Action::kRun);
    EXPECT_EQ(line.command, "encrypt");
    EXPECT_EQ(line.context.options, options);
  }
}

TEST(CommandLineTest, UsageErrorsHelpAndVersion) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"decrypts"}, {"ENCRYPT"}, {"encrypt", "stray"}, {"encrypt", "--a", "1", "2"},
           {"encrypt", "--"}, {"--configfile", "a", "encrypt"}}) {
    EXPECT_EQ(ParseCommandLine(args).action, CommandLine::Action::kUsageError);
  }
  EXPECT_NE(ParseCommandLine({"decrypts"}).error.find("'decrypts'"), std::string::npos);
  EXPECT_EQ(ParseCommandLine({"--help"}).action, CommandLine::Action::kHelp);
  EXPECT_EQ(ParseCommandLine({"--version"}).action, CommandLine::Action::kVersion);
}

TEST(CommandLineTest, OptionOutsideTheCommandsTableIsRefusedWithTheClosest) {
  const struct { std::vector<std::string> args; const char* named; const char* closest; } cases[] = {
      {{"encrypt", "--configfile", "a", "--unatended"}, "'--unatended'", "'--unattended'"},
      {{"encrypt", "--configfile", "a", "--Quiet"}, "'--Quiet'", "'--quiet'"},
      {{"encrypt", "--configfile", "a", "--dry-run"}, "'--dry-run'", "'--"},
      {{"list", "--type", "settings", "--output", "f"}, "'--output'", "'--"},
      {{"rekey", "--store", "s", "--to-unatended"}, "'--to-unatended'", "'--to-unattended'"},
  };
  for (const auto& c : cases) {
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.action, CommandLine::Action::kUsageError) << c.named;
    EXPECT_EQ(line.command, c.args[0]);
    EXPECT_NE(line.error.find(c.named), std::string::npos) << line.error;
    EXPECT_NE(line.error.find(std::string("did you mean ") + c.closest), std::string::npos) << line.error;
  }
  // Every option a command lists in its usage passes.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"decrypt", "--store", "s", "--unattended", "--output", "f", "--force"},
                                                 {"rekey", "--type", "settings", "--to-unattended", "--passphrase-file", "f"}})
    EXPECT_EQ(ParseCommandLine(args).action, CommandLine::Action::kRun);
}

TEST(CommandLineTest, CommandHelpWinsOverEverythingElse) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"encrypt", "--configfile", "x", "--unattended", "--help"},
           {"remove", "--help", "--dry-run"}}) {
    const CommandLine line = ParseCommandLine(args);
    EXPECT_EQ(line.action, CommandLine::Action::kCommandHelp);
    EXPECT_EQ(line.command, args[0]);
  }
}

}  // namespace
