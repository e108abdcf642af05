// The host program's command-line rules.
#include <gtest/gtest.h>

#include "suite/kelvox/CommandLine.h"
#include "suite/kelvox/Completion.h"
#include "suite/usage/Commands.h"

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

// hostkey's actions: the host refuses only an unknown action or option and
// leaves the rest to the command, whose SetParameters holds the line to the
// same table and reports the fault itself.
TEST(CommandLineTest, HostkeyActionRulesAreLeftToTheCommand) {
  const struct { std::vector<std::string> args; const char* fault; } cases[] = {
      {{"status", "--json", "--store", "s"}, ""},
      {{"restore", "--input", "b", "--protection", "tpm2", "--force"}, ""},
      {{"status", "extra"}, "hostkey status takes no argument"},
      {{"retire"}, "hostkey retire needs the id of one kept key"},
      {{"status", "--output", "f"}, "--output does not apply to hostkey status"},
      {{"seal"}, "hostkey seal needs --protection"},
      {{"backup", "--output="}, "hostkey backup needs --output"},
      {{"seal", "--protection", "rot13"}, "--protection takes file|tpm2|dpapi, not 'rot13'"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "hostkey");
    const CommandLine line = ParseCommandLine(args);
    ASSERT_EQ(line.action, CommandLine::Action::kRun) << args[1] << " " << line.error;
    const std::string fault = FindUsageFault(*FindCommand("hostkey"), line.context);
    EXPECT_EQ(fault.substr(0, std::string(c.fault).size()), c.fault) << fault;
    EXPECT_EQ(fault.empty(), *c.fault == '\0') << fault;
  }
  EXPECT_NE(ParseCommandLine({"hostkey", "unseal"}).error.find("unknown action 'unseal'"),
            std::string::npos);
  EXPECT_NE(ParseCommandLine({"hostkey", "status", "--jsn"}).error.find("did you mean '--json'"),
            std::string::npos);
}

// What follows "--" reaches a command that takes it word for word, even
// what looks like an option or help; elsewhere "--" stays an error.
TEST(CommandLineTest, ArgumentsAfterDoubleDashArePassedUnchanged) {
  using Words = std::vector<std::string>;
  const struct { Words args; CommandLine::Action action; Words passed; } cases[] = {
      {{"exec", "--env", "A=settings:k", "--", "sh", "-c", "x", "--env", "-h", "--", "--help"},
       CommandLine::Action::kRun, {"sh", "-c", "x", "--env", "-h", "--", "--help"}},
      {{"exec", "--unattended", "--", "prog"}, CommandLine::Action::kRun, {"prog"}},
      {{"exec", "--env", "A=settings:k", "prog"}, CommandLine::Action::kUsageError, {}},
      {{"exec", "--env", "A=settings:k", "--"}, CommandLine::Action::kUsageError, {}},
      {{"exec", "--help", "--", "prog"}, CommandLine::Action::kCommandHelp, {"prog"}},
      {{"get", "--type", "settings", "--key", "k", "--", "x"}, CommandLine::Action::kUsageError, {}},
  };
  for (const auto& c : cases) {
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.action, c.action) << c.args.back() << " " << line.error;
    if (c.action != CommandLine::Action::kUsageError) {
      EXPECT_EQ(line.context.host_list, c.passed);
    }
  }
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

// The completion answers from the table of commands: what it offers
// follows each command's options, actions, choices and exclusions.
TEST(CompletionTest, OffersWhatTheTableAllowsAfterTheWordsGiven) {
  using Words = std::vector<std::string>;
  const struct { Words words; Words offered; } cases[] = {
      {{"en"}, {"encrypt"}},
      {{"-"}, {"--help", "--version"}},
      {{"get", "--type", ""}, {"settings", "credentials"}},
      {{"get", "--store", "x"}, {kCompleteFileName}},
      {{"set", "--key", "k", "--"}, {"--type", "--store", "--value-from", "--unattended", "--passphrase-file", "--quiet", "--help"}},
      {{"hostkey", "re"}, {"retire", "recipient", "restore"}},
      {{"hostkey", "status", "--store", "a", "--"}, {"--store", "--json", "--help"}},
      {{"exec", "--env", "A=settings:k", "--", "prog", "--"}, {kCompleteFileName}},
      {{"nosuch", ""}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(CompleteWords(c.words), c.offered) << c.words.front();
}

}  // namespace
