// kelvox encrypt end to end: the real program, the real plug-in and store,
// typed at through a pseudo-terminal or run with no terminal at all.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

#include <boost/filesystem.hpp>

#include "Src/Misc/Encrypt/InputForm.h"
#include "host/EnDecrypt.h"
#include "host/GlobalConfig.h"
#include "tests/e2e/Process.h"
#include "tests/support/TestSupport.h"

namespace {

using e2e::Finished;
using e2e::PtySession;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::ScopedTempDir;
using testing_support::WriteFile;
using Records = std::map<std::string, std::string>;

const std::string kKelvox = KELVOX_PROGRAM;
const std::string kPassphrase = "correct horse 42";
const char kSettings[] =
    "// deployment secrets\n"
    "{\"sensitive_settings\": {\"db_password\": \"s3cret-db-value\", \"api_token\": \"tok-9f8e7d\"}}\n";
const char kCredentials[] =
    "{\"credentials\": [{\"target\": \"bmc01.example.net\", \"user\": \"admin\","
    " \"password\": \"pw-bmc-secret\"}]}\n";
const char kBoth[] =
    "{\"sensitive_settings\": {\"db_password\": \"s3cret-db-value\"},\n"
    " \"credentials\": [{\"target\": \"bmc01.example.net\", \"user\": \"admin\","
    " \"password\": \"pw-bmc-secret\"}]}\n";

std::string SuccessNotice(const std::string& path) {
  return "Succeed in encrypting the message and restoring it info file: " + path +
         ". \nSuggest you delete the file with plain text!\n";
}

std::string NewPrompt(const std::string& path) {
  return "please enter the passphrase for \"" + path + "\". (at least 8 characters):\n"
         "  Enter passphrase: ";
}

std::string ExistingPrompt(const std::string& path) {
  return "please enter the passphrase for \"" + path + "\".\n  Enter passphrase: ";
}

std::string Question(const std::string& path) {
  return "Are you sure you want to continue to update the file " + path +
         " (Y/N)?\n  Enter (Y/N): ";
}

class EncryptE2eTest : public testing::Test {
 protected:
  EncryptE2eTest()
      : settings_store(dir.File("stores/settings.store")),
        credentials_store(dir.File("stores/credentials.store")),
        config_env("KELVOX_GLOBAL_CONFIG", dir.File("global.config")) {
    WriteFile(dir.File("global.config"),
              "ENCRYPT_SETTING_PATH=" + settings_store + "\n" +
                  "ENCRYPTED_CREDENTIALS_FILE_PATH=" + credentials_store + "\n" +
                  "ENCRYPT_HOST_KEY_PATH=" + dir.File("host.key") + "\n" +
                  "ENCRYPT_KDF_OPSLIMIT=1\nENCRYPT_KDF_MEMLIMIT=8192\n" +
                  "LOG_FILE=" + dir.File("kelvox.log") + "\nLOG_LEVEL=4\n");
    ZUdurov::GlobalConfig::Reload();
    WriteFile(dir.File("settings.json"), kSettings);
    WriteFile(dir.File("credentials.json"), kCredentials);
    WriteFile(dir.File("both.json"), kBoth);
  }
  ~EncryptE2eTest() override { ZUdurov::GlobalConfig::Reload(); }

  std::vector<std::string> Args(const std::string& input, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {kKelvox, "encrypt", "--configfile", dir.File(input)};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  e2e::Environment Env() const { return {{"KELVOX_GLOBAL_CONFIG", dir.File("global.config")}}; }

  Finished RunUnattended(const std::string& input, std::vector<std::string> extra = {}) {
    extra.push_back("--unattended");
    return e2e::RunWithPipes(Args(input, extra), Env());
  }

  // Creates the settings store in attended mode through the terminal.
  void CreateAttendedSettingsStore() {
    PtySession session(Args("settings.json"), Env());
    ASSERT_TRUE(session.WaitFor(NewPrompt(settings_store)));
    session.Type(kPassphrase + "\r");
    ASSERT_TRUE(session.WaitFor("please confirm again:\n  Enter passphrase: "));
    session.Type(kPassphrase + "\r");
    ASSERT_EQ(session.Wait().status, 0);
  }

  Records Open(const std::string& store, const std::string& passphrase) {
    Records records;
    EXPECT_EQ(EnDecrypt::GetInstance()->Decrypt(store, records, passphrase), 0) << store;
    return records;
  }

  std::string Log() const { return ReadFile(dir.File("kelvox.log")); }

  ScopedTempDir dir;
  std::string settings_store;
  std::string credentials_store;
  ScopedEnv config_env;
};

TEST_F(EncryptE2eTest, NewAttendedStoreAsksTwiceAndNeverShowsThePassphrase) {
  PtySession session(Args("settings.json"), Env());
  ASSERT_TRUE(session.WaitFor(NewPrompt(settings_store)));
  session.Type(kPassphrase + "\r");
  ASSERT_TRUE(session.WaitFor("\nplease confirm again:\n  Enter passphrase: "));
  session.Type(kPassphrase + "\r");
  const Finished run = session.Wait();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, NewPrompt(settings_store) + "\nplease confirm again:\n  Enter passphrase: \n" +
                            SuccessNotice(settings_store));
  EXPECT_EQ(Open(settings_store, kPassphrase),
            (Records{{"api_token", "tok-9f8e7d"}, {"db_password", "s3cret-db-value"}}));
  EXPECT_EQ(run.output.find(kPassphrase), std::string::npos);
}

TEST_F(EncryptE2eTest, BackspaceEditsTheHiddenEntry) {
  PtySession session(Args("settings.json"), Env());
  ASSERT_TRUE(session.WaitFor(NewPrompt(settings_store)));
  session.Type(kPassphrase + "X\x7f\r");  // the terminal's erase key
  ASSERT_TRUE(session.WaitFor("please confirm again:\n  Enter passphrase: "));
  session.Type(kPassphrase + "\r");
  EXPECT_EQ(session.Wait().status, 0);
}

TEST_F(EncryptE2eTest, TerminalIsGivenBackAsItWas) {
  // A signal mid-entry ends the run as that signal, with echo and line
  // editing back on. Core dumps off: SIGQUIT would leave one behind.
  rlimit core{};
  getrlimit(RLIMIT_CORE, &core);
  const rlimit no_core{0, core.rlim_max};
  setrlimit(RLIMIT_CORE, &no_core);
  for (const int signal_number : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
    PtySession session(Args("settings.json"), Env());
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
  PtySession session(Args("settings.json"), Env());
  ASSERT_TRUE(session.WaitFor(NewPrompt(settings_store)));
  session.Type(full + "tail of it\r");
  ASSERT_TRUE(session.WaitFor("please confirm again:\n  Enter passphrase: "));
  session.Type(full + "\r");
  EXPECT_EQ(session.Wait().status, 0);
  EXPECT_EQ(Open(settings_store, full),
            (Records{{"api_token", "tok-9f8e7d"}, {"db_password", "s3cret-db-value"}}));
}

TEST_F(EncryptE2eTest, ShortOrMismatchedPassphraseIsRefusedWithoutRetry) {
  {
    PtySession session(Args("settings.json"), Env());
    ASSERT_TRUE(session.WaitFor(NewPrompt(settings_store)));
    session.Type("seven77\r");
    const Finished run = session.Wait();
    EXPECT_EQ(run.status, 46);
    EXPECT_EQ(run.output.find("please confirm again:"), std::string::npos);
    EXPECT_NE(run.output.find("kelvox: Passphrase error. (code 46)"), std::string::npos);
  }
  {
    PtySession session(Args("settings.json"), Env());
    ASSERT_TRUE(session.WaitFor(NewPrompt(settings_store)));
    session.Type(kPassphrase + "\r");
    ASSERT_TRUE(session.WaitFor("please confirm again:\n  Enter passphrase: "));
    session.Type(kPassphrase + "!\r");
    EXPECT_EQ(session.Wait().status, 46);
  }
  EXPECT_FALSE(boost::filesystem::exists(settings_store));
}

TEST_F(EncryptE2eTest, UpdateShowsCountsAndWritesOnlyWhenConfirmed) {
  CreateAttendedSettingsStore();
  WriteFile(dir.File("settings.json"),
            "{\"sensitive_settings\": {\"db_password\": \"rotated\", \"api_token\": \"tok-9f8e7d\","
            " \"smtp\": \"mail-secret\"}}");
  const std::string before = ReadFile(settings_store);

  struct Answer {
    std::string keys;
    int status;
  };
  for (const Answer& answer : {Answer{"n\r", 47}, Answer{"yes\r", 47}, Answer{" y\r", 47}}) {
    PtySession session(Args("settings.json"), Env());
    ASSERT_TRUE(session.WaitFor(ExistingPrompt(settings_store)));
    session.Type(kPassphrase + "\r");
    ASSERT_TRUE(session.WaitFor("add: 1, update: 1\n" + Question(settings_store)));
    session.Type(answer.keys);
    const Finished run = session.Wait();
    EXPECT_EQ(run.status, answer.status) << answer.keys;
    EXPECT_NE(run.output.find("Interrupted by user. (code 47)"), std::string::npos);
    EXPECT_EQ(ReadFile(settings_store), before) << "declined update changed the store";
  }

  PtySession session(Args("settings.json"), Env());
  ASSERT_TRUE(session.WaitFor(ExistingPrompt(settings_store)));
  session.Type(kPassphrase + "\r");
  ASSERT_TRUE(session.WaitFor(Question(settings_store)));
  session.Type("Y\r");
  const Finished run = session.Wait();
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find(SuccessNotice(settings_store)), std::string::npos);
  EXPECT_EQ(Open(settings_store, kPassphrase),
            (Records{{"api_token", "tok-9f8e7d"}, {"db_password", "rotated"}, {"smtp", "mail-secret"}}));
}

TEST_F(EncryptE2eTest, WrongPassphraseOnUpdateIsRefused) {
  CreateAttendedSettingsStore();
  PtySession session(Args("settings.json"), Env());
  ASSERT_TRUE(session.WaitFor(ExistingPrompt(settings_store)));
  session.Type("not the passphrase\r");
  const Finished run = session.Wait();
  EXPECT_EQ(run.status, 46);
  EXPECT_EQ(run.output.find("add: "), std::string::npos);
}

TEST_F(EncryptE2eTest, QuietSkipsOnlyTheQuestion) {
  CreateAttendedSettingsStore();
  PtySession session(Args("settings.json", {"--quiet"}), Env());
  ASSERT_TRUE(session.WaitFor(ExistingPrompt(settings_store)));
  session.Type(kPassphrase + "\r");
  const Finished run = session.Wait();
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find("add: 0, update: 0\n" + SuccessNotice(settings_store)),
            std::string::npos)
      << run.output;
  EXPECT_EQ(run.output.find("(Y/N)"), std::string::npos);
}

TEST_F(EncryptE2eTest, UnattendedRunsNeedNoTerminal) {
  const Finished created = RunUnattended("settings.json");
  EXPECT_EQ(created.status, 0) << created.error;
  EXPECT_EQ(created.output, SuccessNotice(settings_store));
  EXPECT_EQ(created.error, "");

  WriteFile(dir.File("settings.json"), "{\"sensitive_settings\": {\"db_password\": \"new\"}}");
  // Without --quiet the question is asked; input that ends unanswered declines.
  const std::string before = ReadFile(settings_store);
  const Finished unanswered = RunUnattended("settings.json");
  EXPECT_EQ(unanswered.status, 47) << unanswered.error;
  EXPECT_EQ(ReadFile(settings_store), before);
  const Finished updated = RunUnattended("settings.json", {"--quiet"});
  EXPECT_EQ(updated.status, 0) << updated.error;
  EXPECT_EQ(updated.output, "add: 0, update: 1\n" + SuccessNotice(settings_store));
  // Stored keys absent from the input stay.
  EXPECT_EQ(Open(settings_store, ""),
            (Records{{"api_token", "tok-9f8e7d"}, {"db_password", "new"}}));
}

TEST_F(EncryptE2eTest, ModesNeverMix) {
  ASSERT_EQ(RunUnattended("settings.json").status, 0);
  PtySession attended(Args("settings.json"), Env());
  const Finished refused = attended.Wait();
  EXPECT_EQ(refused.status, 45);
  EXPECT_EQ(refused.output.find("please enter the passphrase"), std::string::npos);
  EXPECT_NE(refused.output.find("Attended or unattended mode conflict. (code 45)"),
            std::string::npos);
}

TEST_F(EncryptE2eTest, AttendedStoreRefusesUnattendedUpdate) {
  CreateAttendedSettingsStore();
  const Finished run = RunUnattended("settings.json", {"--quiet"});
  EXPECT_EQ(run.status, 45);
  EXPECT_NE(Log().find("Failed in encrypt file " + settings_store + " though mode is mixed."),
            std::string::npos);
}

TEST_F(EncryptE2eTest, BothTypesGoToTheirStoresSettingsFirst) {
  PtySession session(Args("both.json"), Env());
  for (const std::string& store : {settings_store, credentials_store}) {
    ASSERT_TRUE(session.WaitFor(NewPrompt(store))) << store;
    session.Type(kPassphrase + "\r");
    ASSERT_TRUE(session.WaitFor("please confirm again:\n  Enter passphrase: "));
    session.Type(kPassphrase + "\r");
    ASSERT_TRUE(session.WaitFor(SuccessNotice(store)));
  }
  EXPECT_EQ(session.Wait().status, 0);
  EXPECT_EQ(Open(settings_store, kPassphrase), (Records{{"db_password", "s3cret-db-value"}}));
  EXPECT_EQ(Open(credentials_store, kPassphrase),
            (Records{{"bmc01.example.net/password", "pw-bmc-secret"},
                     {"bmc01.example.net/user", "admin"}}));
}

TEST_F(EncryptE2eTest, FailureInTheSecondTypeKeepsTheFirstWritten) {
  // A plain file where the credentials store's folder should be.
  WriteFile(dir.File("blocked"), "");
  std::string config = ReadFile(dir.File("global.config"));
  const std::string old_line = "ENCRYPTED_CREDENTIALS_FILE_PATH=" + credentials_store;
  config.replace(config.find(old_line), old_line.size(),
                 "ENCRYPTED_CREDENTIALS_FILE_PATH=" + dir.File("blocked/credentials.store"));
  WriteFile(dir.File("global.config"), config);

  const Finished run = RunUnattended("both.json");
  EXPECT_EQ(run.status, 11) << run.error;
  EXPECT_EQ(run.output, SuccessNotice(settings_store));
  EXPECT_NE(run.error.find("Failed to write file. (code 11)"), std::string::npos);
  ZUdurov::GlobalConfig::Reload();
  EXPECT_EQ(Open(settings_store, ""), (Records{{"db_password", "s3cret-db-value"}}));
}

TEST_F(EncryptE2eTest, MissingInputIsReportedAndLogged) {
  const Finished run = RunUnattended("absent.json");
  EXPECT_EQ(run.status, 6);
  EXPECT_EQ(run.error, "kelvox: File doesn't exist. (code 6)\n"
                       "kelvox: details are in the log " + dir.File("kelvox.log") + "\n");
  EXPECT_NE(Log().find("Read customer file error: 6."), std::string::npos);
}

TEST_F(EncryptE2eTest, TraceLogHoldsNamesButNoSecrets) {
  CreateAttendedSettingsStore();
  PtySession session(Args("both.json", {"--quiet"}), Env());
  ASSERT_TRUE(session.WaitFor(ExistingPrompt(settings_store)));
  session.Type(kPassphrase + "\r");
  ASSERT_TRUE(session.WaitFor(NewPrompt(credentials_store)));
  session.Type(kPassphrase + "\r");
  ASSERT_TRUE(session.WaitFor("please confirm again:\n  Enter passphrase: "));
  session.Type(kPassphrase + "\r");
  ASSERT_EQ(session.Wait().status, 0);
  const std::string log = Log();
  EXPECT_NE(log.find("Parse setting name: db_password"), std::string::npos);
  EXPECT_NE(log.find("Entering  ENCRYPT::EncryptProc"), std::string::npos);
  EXPECT_NE(log.find("Exiting  ENCRYPT::EncryptProc"), std::string::npos);
  for (const char* secret : {"correct horse", "s3cret-db-value", "tok-9f8e7d", "pw-bmc-secret"}) {
    EXPECT_EQ(log.find(secret), std::string::npos) << secret;
  }
}

}  // namespace
