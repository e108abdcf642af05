// kelvox encrypt end to end: the real program, the real plug-in and store,
// typed at through a pseudo-terminal or run with no terminal at all.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

#include <boost/filesystem.hpp>

#include "Src/Misc/Common/InputForm.h"
#include "host/EnDecrypt.h"
#include "tests/e2e/Home.h"
#include "tests/support/TestSupport.h"

namespace {

using e2e::Finished;
using e2e::PtySession;
using testing_support::ReadFile;
using testing_support::WriteFile;
using Records = std::map<std::string, std::string>;

const std::string kPassphrase = "correct horse 42";
const char kSettings[] =
    "// deployment secrets\n"
    "{\"sensitive_settings\": {\"db_password\": \"s3cret-db-value\", \"api_token\": \"tok-9f8e7d\"}}\n";
const char kBoth[] =
    "{\"sensitive_settings\": {\"db_password\": \"s3cret-db-value\"},\n"
    " \"credentials\": [{\"target\": \"bmc01.example.net\", \"user\": \"admin\","
    " \"password\": \"pw-bmc-secret\"}]}\n";
const char kConfirm[] = "please confirm again:\n  Enter passphrase: ";

std::string Notice(const std::string& path) {
  return "Succeed in encrypting the message and restoring it info file: " + path + ". \nSuggest you delete the file with plain text!\n";
}
std::string NewPrompt(const std::string& p) { return "please enter the passphrase for \"" + p + "\". (at least 8 characters):\n  Enter passphrase: "; }
std::string ExistingPrompt(const std::string& p) { return "please enter the passphrase for \"" + p + "\".\n  Enter passphrase: "; }
std::string Question(const std::string& p) { return "Are you sure you want to continue to update the file " + p + " (Y/N)?\n  Enter (Y/N): "; }

class EncryptE2eTest : public e2e::HomeTest<> {
 protected:
  EncryptE2eTest() {
    Configure(credentials_store);
    WriteFile(dir.File("settings.json"), kSettings);
    WriteFile(dir.File("both.json"), kBoth);
  }
  void Configure(const std::string& credentials) {
    WriteConfig({{"ENCRYPT_SETTING_PATH", settings_store}, {"ENCRYPTED_CREDENTIALS_FILE_PATH", credentials}});
  }
  std::vector<std::string> EncryptArgs(const std::string& input, const char* extra = nullptr) const {
    std::vector<std::string> args = {"encrypt", "--configfile", "@" + input};
    if (extra != nullptr) args.push_back(extra);
    return Args(args);
  }
  Finished RunUnattended(const std::string& input, const std::string& typed = "") {
    return e2e::RunWithPipes(EncryptArgs(input, "--unattended"), Env(), typed);
  }
  // An attended run that types the passphrase at every prompt for `stores`
  // (new ones ask twice), then `answer` if given.
  Finished RunAttended(const std::string& input, const std::vector<std::string>& stores,
                       const std::string& answer = "") {
    PtySession session(EncryptArgs(input), Env());
    for (const std::string& store : stores) {
      const bool existing = boost::filesystem::exists(store);
      EXPECT_TRUE(session.WaitFor(existing ? ExistingPrompt(store) : NewPrompt(store))) << store;
      session.Type(kPassphrase + "\r");
      if (existing) {
        if (!answer.empty() && session.WaitFor(Question(store))) session.Type(answer);
      } else {
        EXPECT_TRUE(session.WaitFor(kConfirm));
        session.Type(kPassphrase + "\r");
      }
      session.WaitFor(Notice(store), 5);
    }
    return session.Wait();
  }
  Records Open(const std::string& store, const std::string& passphrase) {
    Records records;
    EXPECT_EQ(EnDecrypt::GetInstance()->Decrypt(store, records, passphrase), 0) << store;
    return records;
  }

  std::string settings_store = dir.File("stores/settings.store");
  std::string credentials_store = dir.File("stores/credentials.store");
  // The store library, run in this process too, reads the same configuration.
  testing_support::ScopedEnv in_process{"KELVOX_GLOBAL_CONFIG", config};
};

TEST_F(EncryptE2eTest, AttendedCreateAsksTwiceSettingsFirstAndShowsOrLogsNoSecret) {
  const Finished run = RunAttended("both.json", {settings_store, credentials_store});
  EXPECT_EQ(run.status, 0);
  std::string shown;
  for (const std::string& store : {settings_store, credentials_store}) shown += NewPrompt(store) + "\n" + kConfirm + "\n" + Notice(store);
  EXPECT_EQ(run.output, shown);
  EXPECT_EQ(Open(settings_store, kPassphrase), (Records{{"db_password", "s3cret-db-value"}}));
  EXPECT_EQ(Open(credentials_store, kPassphrase), (Records{{"bmc01.example.net/password", "pw-bmc-secret"}, {"bmc01.example.net/user", "admin"}}));
  const std::string log = ReadFile(dir.File("kelvox.log"));
  EXPECT_NE(log.find("ENCRYPT::EncryptProc"), std::string::npos) << "nothing logged";
  for (const char* secret : {"correct horse", "s3cret-db-value", "pw-bmc-secret"}) EXPECT_EQ(log.find(secret), std::string::npos) << secret;
}

TEST_F(EncryptE2eTest, TerminalIsGivenBackAsItWas) {
  // A signal mid-entry ends the run as that signal, with echo and line
  // editing back on. Core dumps off: SIGQUIT would leave one behind.
  rlimit core{};
  getrlimit(RLIMIT_CORE, &core);
  const rlimit no_core{0, core.rlim_max};
  setrlimit(RLIMIT_CORE, &no_core);
  for (const int signal_number : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
    PtySession session(EncryptArgs("settings.json"), Env());
    ASSERT_TRUE(session.WaitFor(NewPrompt(settings_store)));
    session.Type("half a pass");
    session.Signal(signal_number);
    EXPECT_EQ(session.Wait().signal, signal_number);
    EXPECT_TRUE(session.EchoesAndEditsLines()) << "after signal " << signal_number;
  }
  setrlimit(RLIMIT_CORE, &core);
  EXPECT_FALSE(boost::filesystem::exists(settings_store));

  // Keys typed past a full hidden field are discarded, not read by whatever
  // reads the terminal next: here the confirmation, which waits for its own.
  const std::string full(kMaxFieldLength, 'x');
  PtySession session(EncryptArgs("settings.json"), Env());
  ASSERT_TRUE(session.WaitFor(NewPrompt(settings_store)));
  session.Type(full + "tail of it\r");
  ASSERT_TRUE(session.WaitFor(kConfirm));
  session.Type(full + "\r");
  EXPECT_EQ(session.Wait().status, 0);
  EXPECT_EQ(Open(settings_store, full),
            (Records{{"api_token", "tok-9f8e7d"}, {"db_password", "s3cret-db-value"}}));
}

TEST_F(EncryptE2eTest, AttendedUpdateShowsCountsAndWritesOnlyWhenConfirmed) {
  ASSERT_EQ(RunAttended("settings.json", {settings_store}).status, 0);
  WriteFile(dir.File("settings.json"),
            R"({"sensitive_settings": {"db_password": "rotated", "api_token": "tok-9f8e7d",
                "smtp": "mail-secret"}})");
  const std::string before = ReadFile(settings_store);
  for (const char* answer : {"n\r", "yes\r"}) {
    const Finished run = RunAttended("settings.json", {settings_store}, answer);
    EXPECT_EQ(run.status, 47) << answer;
    EXPECT_NE(run.output.find("add: 1, update: 1\n" + Question(settings_store)), std::string::npos);
    EXPECT_EQ(ReadFile(settings_store), before) << "declined update changed the store";
  }
  const Finished run = RunAttended("settings.json", {settings_store}, "Y\r");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Open(settings_store, kPassphrase),
            (Records{{"api_token", "tok-9f8e7d"}, {"db_password", "rotated"}, {"smtp", "mail-secret"}}));
}

TEST_F(EncryptE2eTest, UnattendedRunsNeedNoTerminalAndStillAskBeforeAnUpdate) {
  const Finished created = RunUnattended("settings.json");
  EXPECT_EQ(created.status, 0) << created.error;
  EXPECT_EQ(created.output, Notice(settings_store));
  WriteFile(dir.File("settings.json"), R"({"sensitive_settings": {"db_password": "new"}})");
  const std::string before = ReadFile(settings_store);
  // "n", or input that ends before any answer, declines.
  for (const char* typed : {"n\n", ""}) {
    const Finished declined = RunUnattended("settings.json", typed);
    EXPECT_EQ(declined.status, 47) << typed;
    EXPECT_EQ(ReadFile(settings_store), before) << typed;
  }
  const Finished updated = RunUnattended("settings.json", "\n");
  EXPECT_EQ(updated.status, 0) << updated.error;
  EXPECT_EQ(updated.output, "add: 0, update: 1\n" + Question(settings_store) + Notice(settings_store));
  // Stored keys absent from the input stay.
  EXPECT_EQ(Open(settings_store, ""), (Records{{"api_token", "tok-9f8e7d"}, {"db_password", "new"}}));
}

TEST_F(EncryptE2eTest, FailureInTheSecondTypeKeepsTheFirstWritten) {
  WriteFile(dir.File("blocked"), "");  // a plain file where a folder should be
  Configure(dir.File("blocked/credentials.store"));
  const Finished run = RunUnattended("both.json");
  EXPECT_EQ(run.status, 11) << run.error;
  EXPECT_EQ(run.output, Notice(settings_store));
  EXPECT_NE(run.error.find("Failed to write file. (code 11)"), std::string::npos);
  EXPECT_NE(run.error.find(dir.File("blocked")), std::string::npos) << "the cause, with its path";
  EXPECT_EQ(Open(settings_store, ""), (Records{{"db_password", "s3cret-db-value"}}));
}

// The fixed lines never name why a run failed, or that part of the file was
// left out: the host says it on standard error once the run is over, and
// standard output keeps exactly the fixed lines.
TEST_F(EncryptE2eTest, TheCauseOrWhatWasLeftOutIsNamedAfterTheRun) {
  WriteFile(dir.File("broken.json"), "{\"sensitive_settings\": {\n  \"a\": \n}}\n");
  WriteFile(dir.File("half.json"), "{\"sensitive_settings\": {\"a\": \"1\"}, \"credentials\": [{\"target\": \"h\"}]}");
  const std::string again = kPassphrase + "\n" + kPassphrase + "\n", differ = kPassphrase + "\nanother horse\n";
  const struct { const char* what; const char* file; bool attended; std::string typed; int status; std::string words; std::string output; } rows[] = {
      {"a missing file", "absent.json", false, "", 6, "Customer specify file: " + dir.File("absent.json") + " is not exist.", ""},
      {"not JSON", "broken.json", false, "", 7, dir.File("broken.json") + " is not JSON: expected value at line 3, column 1.", ""},
      {"passphrases differ", "settings.json", true, differ, 46, "The two passphrase entries for " + settings_store + " differ.", "*"},
      {"a short passphrase", "settings.json", true, "short\n", 46, "The passphrase entered for " + settings_store + " is shorter than 8 characters.", "*"},
      {"credentials left out", "half.json", false, "", 0, "The credentials of the input file were not stored: an entry lacks", Notice(settings_store)},
      {"both stored, nothing said", "both.json", true, again + again, 0, "", "*"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    boost::filesystem::remove_all(dir.File("stores"));
    const Finished run = e2e::RunWithPipes(EncryptArgs(row.file, row.attended ? nullptr : "--unattended"), Env(), row.typed);
    EXPECT_EQ(run.status, row.status) << run.error;
    const std::size_t at = run.error.find("kelvox: " + row.words);
    EXPECT_TRUE(row.words.empty() ? run.error.empty() : at != std::string::npos) << run.error;
    if (row.output != "*") {
      EXPECT_EQ(run.output, row.output);
    }
  }
}

}  // namespace
