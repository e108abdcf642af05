// The audit log end to end: the real program's lines, their chain as
// `kelvox audit verify` checks it, appends at once, and a reveal that
// AUDIT_REQUIRED=yes stops when its line cannot be written.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <cstdlib>

#include "tests/e2e/Process.h"
#include "tests/support/TestSupport.h"

namespace {

using e2e::Finished;
using testing_support::ReadFile;
using testing_support::ScopedTempDir;
using testing_support::WriteFile;

const std::string kKelvox = KELVOX_PROGRAM;
const std::string kValue = "s3cr et";

class AuditE2eTest : public testing::Test {
 protected:
  AuditE2eTest() {
    Configure("");
    WriteFile(dir.File("s.json"), "{\"sensitive_settings\": {\"db\": \"" + kValue + "\"}}");
    EXPECT_EQ(Run({"encrypt", "--configfile", "@s.json", "--unattended"}).status, 0);
  }

  void Configure(const std::string& more) {
    WriteFile(dir.File("global.config"),
              "ENCRYPT_SETTING_PATH=" + dir.File("settings.store") + "\nENCRYPT_HOST_KEY_PATH=" +
                  dir.File("host.key") + "\nLOG_FILE=" + dir.File("kelvox.log") + "\n" + more);
  }

  // "@name" stands for a file of the test's folder.
  Finished Run(std::vector<std::string> args, const std::string& input = "") {
    for (std::string& arg : args) arg = arg.rfind("@", 0) == 0 ? dir.File(arg.substr(1)) : arg;
    args.insert(args.begin(), kKelvox);
    return e2e::RunWithPipes(
        args, {{"KELVOX_GLOBAL_CONFIG", dir.File("global.config")}, {"VISUAL", ""}, {"EDITOR", "true"}},
        input);
  }

  std::string LastLine() {
    const std::string log = ReadFile(dir.File("audit.log"));
    const std::size_t begin = log.find_last_of('\n', log.size() - 2);
    return log.substr(begin == std::string::npos ? 0 : begin + 1);
  }

  ScopedTempDir dir;
};

TEST_F(AuditE2eTest, EveryActLeavesItsLineWithoutTheValue) {
  WriteFile(dir.File("v"), "new value");
  std::string recipient = Run({"hostkey", "recipient"}).output;
  recipient.resize(recipient.find_last_not_of('\n') + 1);
  const struct Row { std::vector<std::string> args; std::string fields; } rows[] = {
      {{"get", "--type", "settings", "--key", "db", "--unattended"},
       "\"command\":\"get\",\"store\":\"" + dir.File("settings.store") + "\",\"keys\":[\"db\"]"},
      {{"get", "--type", "settings", "--key", "nope", "--unattended"},
       "\"keys\":[\"nope\"],\"unit\":\"\",\"key_id\":\""},
      {{"decrypt", "--type", "settings", "--unattended"}, "\"command\":\"decrypt\""},
      {{"export", "--type", "settings", "--unattended", "--recipient", recipient, "--output", "@out"},
       "\"command\":\"export\",\"store\":\"" + dir.File("settings.store") + "\""},
      {{"edit", "--type", "settings", "--unattended"},
       "\"command\":\"edit\",\"store\":\"" + dir.File("settings.store") + "\",\"keys\":[\"db\"]"},
      {{"exec", "--unattended", "--env", "A=settings:db", "--", "true"},
       "\"command\":\"exec\",\"store\":\"\",\"keys\":[\"settings:db\"]"},
      {{"set", "--type", "settings", "--key", "db", "--value-from", "@v", "--unattended", "--quiet"},
       "\"command\":\"set\""},
      {{"hostkey", "rotate", "--quiet"}, "\"command\":\"hostkey rotate\""},
      {{"remove", "--type", "settings", "--key", "db", "--unattended", "--quiet"},
       "\"command\":\"remove\""},
  };
  EXPECT_NE(LastLine().find("\"command\":\"encrypt\""), std::string::npos);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[0]);
    const std::size_t before = ReadFile(dir.File("audit.log")).size();
    const Finished run = Run(row.args);
    const std::string added = ReadFile(dir.File("audit.log")).substr(before), line = LastLine();
    EXPECT_NE(added.find(row.fields), std::string::npos) << added;
    EXPECT_EQ(line.find("\"name\":\"ERR_SUCCEED\"") != std::string::npos, run.status == 0);
  }
  const std::string log = ReadFile(dir.File("audit.log"));
  EXPECT_EQ(log.find(kValue), std::string::npos);
  EXPECT_EQ(log.find("new value"), std::string::npos);
  EXPECT_EQ(Run({"audit", "verify"}).status, 0);
}

TEST_F(AuditE2eTest, VerifyNamesWhereAndHowTheChainBreaks) {
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Run({"get", "--type", "settings", "--key", "db", "--unattended"}).status, 0);
  std::vector<std::string> lines;
  {
    std::istringstream log(ReadFile(dir.File("audit.log")));
    for (std::string line; std::getline(log, line);) lines.push_back(line + "\n");
  }
  ASSERT_EQ(lines.size(), 6u);
  const std::string mac = lines[2].substr(lines[2].find("\"prev\":\"") + 8, 64);
  std::string edited = lines[2], forged = lines[2];
  edited.replace(edited.find("\"db\""), 4, "\"dx\"");
  forged.replace(forged.find(mac), 64, std::string(64, '0'));
  const auto join = [](std::vector<std::string> parts) {
    std::string text;
    for (const std::string& part : parts) text += part;
    return text;
  };
  const struct Row { const char* what; std::string text; int status; std::string json; } rows[] = {
      {"whole", join(lines), 0, "{\"entries\": 6, \"first_seq\": 1, \"ok\": true, \"first_bad\": null, \"reason\": \"\"}"},
      {"edited", join({lines[0], lines[1], edited, lines[3], lines[4], lines[5]}), 49,
       "{\"entries\": 6, \"first_seq\": 1, \"ok\": false, \"first_bad\": 3, \"reason\": \"edited\"}"},
      {"forged", join({lines[0], lines[1], forged, lines[3], lines[4], lines[5]}), 49,
       "{\"entries\": 6, \"first_seq\": 1, \"ok\": false, \"first_bad\": 3, \"reason\": \"forged\"}"},
      {"removed", join({lines[0], lines[1], lines[3], lines[4], lines[5]}), 49,
       "{\"entries\": 5, \"first_seq\": 1, \"ok\": false, \"first_bad\": 4, \"reason\": \"removed\"}"},
      {"reordered", join({lines[0], lines[1], lines[3], lines[2], lines[4], lines[5]}), 49,
       "{\"entries\": 6, \"first_seq\": 1, \"ok\": false, \"first_bad\": 4, \"reason\": \"out of order\"}"},
      {"cut from the start", join({lines[2], lines[3], lines[4], lines[5]}), 0,
       "{\"entries\": 4, \"first_seq\": 3, \"ok\": true, \"first_bad\": null, \"reason\": \"\"}"},
      {"torn tail", join(lines) + lines[5].substr(0, 40), 0,
       "{\"entries\": 6, \"first_seq\": 1, \"ok\": true, \"first_bad\": null, \"reason\": \"torn\"}"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    WriteFile(dir.File("copy.log"), row.text);
    const Finished run = Run({"audit", "verify", "--json", "@copy.log"});
    EXPECT_EQ(run.status, row.status);
    EXPECT_EQ(run.output, row.json + "\n");
  }
  // A crash's torn line in the log itself: the next append ends it and the
  // chain goes on from the last whole line, also into a file rotated away.
  WriteFile(dir.File("audit.log"), join(lines) + lines[5].substr(0, 40));
  EXPECT_EQ(Run({"get", "--type", "settings", "--key", "db", "--unattended"}).status, 0);
  boost::filesystem::rename(dir.File("audit.log"), dir.File("audit.log.1"));
  EXPECT_EQ(Run({"get", "--type", "settings", "--key", "db", "--unattended"}).status, 0);
  EXPECT_EQ(Run({"audit", "verify", "--json", "@audit.log.1", "@audit.log"}).output,
            "{\"entries\": 8, \"first_seq\": 1, \"ok\": true, \"first_bad\": null, \"reason\": \"torn\"}\n");
  // The new file alone verifies, starting where the rotated one ended.
  EXPECT_EQ(Run({"audit", "verify", "--json", "@audit.log"}).output,
            "{\"entries\": 1, \"first_seq\": 8, \"ok\": true, \"first_bad\": null, \"reason\": \"\"}\n");
  // The log's last line cut away: its state file still names it.
  WriteFile(dir.File("audit.log"), "");
  EXPECT_EQ(Run({"audit", "verify", "--json"}).output,
            "{\"entries\": 0, \"first_seq\": null, \"ok\": false, \"first_bad\": 8, \"reason\": \"removed\"}\n");
}

// A host rebuilt from its key's backup verifies its old lines: the backup
// carries the audit key. (An older backup, without it, restores too: the
// host-key tests restore the documented one.)
TEST_F(AuditE2eTest, ABackupCarriesTheAuditKey) {
  const std::string passphrase = "backup passphrase\n";
  ASSERT_EQ(Run({"hostkey", "backup", "--output", "@bak"}, passphrase + passphrase).status, 0);
  boost::filesystem::remove(dir.File("host.key"));
  boost::filesystem::remove(dir.File("host.key.audit-key"));
  EXPECT_EQ(Run({"hostkey", "restore", "--input", "@bak"}, passphrase).status, 0);
  EXPECT_EQ(Run({"audit", "verify"}).status, 0);
}

TEST_F(AuditE2eTest, ThirtyCommandsAtOnceMakeOneChain) {
  std::string script = "export KELVOX_GLOBAL_CONFIG=" + dir.File("global.config") + "\n";
  for (int i = 0; i < 30; ++i) {
    script += kKelvox + " get --type settings --key db --unattended >/dev/null &\n";
  }
  ASSERT_EQ(std::system((script + "wait\n").c_str()), 0);
  EXPECT_EQ(Run({"audit", "verify", "--json"}).output,
            "{\"entries\": 31, \"first_seq\": 1, \"ok\": true, \"first_bad\": null, \"reason\": \"\"}\n");
}

TEST_F(AuditE2eTest, ARequiredLineThatIsNotWrittenRevealsNothing) {
  boost::filesystem::create_directory(dir.File("no.log"));
  const struct Row { std::vector<std::string> args; } rows[] = {
      {{"get", "--type", "settings", "--key", "db", "--unattended"}},
      {{"decrypt", "--type", "settings", "--unattended"}},
      {{"exec", "--unattended", "--env", "A=settings:db", "--", "/bin/sh", "-c", "printf %s \"$A\""}},
  };
  const std::string before = ReadFile(dir.File("audit.log"));
  // A log that cannot be written, and the audit turned off.
  for (const std::string& log : {dir.File("no.log"), std::string("off")}) {
    for (const bool required : {true, false}) {
      Configure("AUDIT_LOG=" + log + (required ? "\nAUDIT_REQUIRED=yes\n" : "\n"));
      for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + log + (required ? " required" : ""));
        const Finished run = Run(row.args);
        EXPECT_EQ(run.status != 0, required) << run.error;
        EXPECT_EQ(run.output.find(kValue) != std::string::npos, !required);
      }
    }
  }
  EXPECT_EQ(ReadFile(dir.File("audit.log")), before);
}

}  // namespace
