// The host program's command-line rules.
#include <gtest/gtest.h>

#include "suite/kelvox/CommandLine.h"

namespace {

using Options = std::map<std::string, std::string>;

CommandLine Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

TEST(CommandLineTest, OptionsTakeSeparateOrJoinedValues) {
  const CommandLine line = Parse({"encrypt", "--configfile", "a.json", "--Mode=x=y"});
  ASSERT_EQ(line.action, CommandLine::Action::kRun);
  EXPECT_EQ(line.command, "encrypt");
  EXPECT_EQ(line.context.options, (Options{{"configfile", "a.json"}, {"Mode", "x=y"}}));
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
  EXPECT_EQ(Parse({"decrypt"}).action, CommandLine::Action::kUsageError);
  EXPECT_EQ(Parse({"ENCRYPT"}).action, CommandLine::Action::kUsageError);
  EXPECT_EQ(Parse({"encrypt", "stray"}).action, CommandLine::Action::kUsageError);
  EXPECT_EQ(Parse({"encrypt", "--a", "1", "2"}).action, CommandLine::Action::kUsageError);
  EXPECT_EQ(Parse({"encrypt", "--"}).action, CommandLine::Action::kUsageError);
  EXPECT_EQ(Parse({"--configfile", "a", "encrypt"}).action, CommandLine::Action::kUsageError);
  EXPECT_NE(Parse({"decrypt"}).error.find("'decrypt'"), std::string::npos);
}

TEST(CommandLineTest, HelpAndVersion) {
  EXPECT_EQ(Parse({"--help"}).action, CommandLine::Action::kHelp);
  EXPECT_EQ(Parse({"--version"}).action, CommandLine::Action::kVersion);
}

}  // namespace
