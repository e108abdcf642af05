// The host program's command-line rules.
#include <gtest/gtest.h>

#include "suite/kelvox/CommandLine.h"

namespace {

using Options = std::map<std::string, std::string>;

TEST(CommandLineTest, OptionsTakeSeparateOrJoinedValuesAndFlagsAreEmpty) {
  const std::vector<std::pair<std::vector<std::string>, Options>> cases = {
      {{"encrypt", "--configfile", "a.json", "--Mode=x=y"}, {{"configfile", "a.json"}, {"Mode", "x=y"}}},
      {{"encrypt", "--unattended", "--quiet", "--configfile="},
       {{"unattended", ""}, {"quiet", ""}, {"configfile", ""}}},
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
           {}, {"decrypt"}, {"ENCRYPT"}, {"encrypt", "stray"}, {"encrypt", "--a", "1", "2"},
           {"encrypt", "--"}, {"--configfile", "a", "encrypt"}}) {
    EXPECT_EQ(ParseCommandLine(args).action, CommandLine::Action::kUsageError);
  }
  EXPECT_NE(ParseCommandLine({"decrypt"}).error.find("'decrypt'"), std::string::npos);
  EXPECT_EQ(ParseCommandLine({"--help"}).action, CommandLine::Action::kHelp);
  EXPECT_EQ(ParseCommandLine({"--version"}).action, CommandLine::Action::kVersion);
}

}  // namespace
