// The encrypt procedure behind Run, against a scripted store: the order of
// types, what reaches the store, and how each failure ends the run.
#include <gtest/gtest.h>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "host/GlobalConfig.h"
#include "tests/command/FakeStore.h"
#include "tests/command/ScriptedKeys.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::ScopedEnv;
using testing_support::ScopedLogCapture;
using testing_support::ScopedTempDir;
using testing_support::WriteFile;

const char kBoth[] =
    "{\"sensitive_settings\": {\"db\": \"v1\"},"
    " \"credentials\": [{\"target\": \"bmc\", \"user\": \"u\", \"password\": \"p\"}]}";

class ProcedureTest : public testing::Test {
 protected:
  ProcedureTest() : config("KELVOX_GLOBAL_CONFIG", dir.File("global.config")) {
    fake_store::Reset();
    UseConfig("ENCRYPT_SETTING_PATH=" + SettingsStore() +
              "\nENCRYPTED_CREDENTIALS_FILE_PATH=" + CredentialsStore() + "\n");
    WriteFile(dir.File("both.json"), kBoth);
  }
  ~ProcedureTest() override { ZUdurov::GlobalConfig::Reload(); }

  void UseConfig(const std::string& text) {
    WriteFile(dir.File("global.config"), text);
    ZUdurov::GlobalConfig::Reload();
  }
  std::string SettingsStore() const { return dir.File("settings.store"); }
  std::string CredentialsStore() const { return dir.File("credentials.store"); }

  // Runs the command on both.json with `options`; stdout lands in out.
  CommandResult Run(std::map<std::string, std::string> options) {
    options["configfile"] = dir.File("both.json");
    HostContext context;
    context.options = options;
    ENCRYPT command;
    EXPECT_EQ(command.SetParameters(context).code, 0u);
    testing::internal::CaptureStdout();
    const CommandResult result = command.Run();
    out = testing::internal::GetCapturedStdout();
    return result;
  }

  static std::string Notice(const std::string& path) {
    return "Succeed in encrypting the message and restoring it info file: " + path +
           ". \nSuggest you delete the file with plain text!\n";
  }

  ScopedTempDir dir;
  ScopedEnv config;
  std::string out;
};

TEST_F(ProcedureTest, WritesSettingsThenCredentialsWithTheMergeFlag) {
  ScopedLogCapture log(4);
  const CommandResult result = Run({{"unattended", "false"}});
  EXPECT_EQ(result.code, 0u);
  EXPECT_EQ(result.message, "Succeed.");
  EXPECT_EQ(out, Notice(SettingsStore()) + Notice(CredentialsStore()));
  const fake_store::Script& store = fake_store::Get();
  EXPECT_EQ(store.calls, (std::vector<std::string>{"encrypt " + SettingsStore(),
                                                   "encrypt " + CredentialsStore()}));
  // Any value of "unattended" selects unattended mode: no passphrase.
  EXPECT_EQ(store.passphrases, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(store.flag, true);
  EXPECT_NE(log.Text().find("Exiting  ENCRYPT::EncryptProc"), std::string::npos);
}

TEST_F(ProcedureTest, AttendedRunAsksForEachType) {
  ScriptedKeys keys("passphrase1\rpassphrase1\rpassphrase2\rpassphrase2\r");
  EXPECT_EQ(Run({}).code, 0u);
  EXPECT_EQ(fake_store::Get().passphrases,
            (std::vector<std::string>{"passphrase1", "passphrase2"}));
}

TEST_F(ProcedureTest, MissingStorePathEndsWithReadFailure) {
  UseConfig("ENCRYPTED_CREDENTIALS_FILE_PATH=" + CredentialsStore() + "\n");
  ScopedLogCapture log(1);
  const CommandResult result = Run({{"unattended", ""}});
  EXPECT_EQ(result.code, 10u);
  EXPECT_EQ(result.message, "Failed to read file.");
  EXPECT_NE(log.Text().find("Get value: ENCRYPT_SETTING_PATH error: " +
                            std::to_string(ZUdurov::GlobalConfig::kKeyAbsent) + "."),
            std::string::npos)
      << log.Text();
  EXPECT_TRUE(fake_store::Get().calls.empty());
}

TEST_F(ProcedureTest, StoreStatusIsMappedAndStopsTheRun) {
  fake_store::Get().encrypt_status = 12;
  ScopedLogCapture log(4);
  const CommandResult result = Run({{"unattended", ""}});
  EXPECT_EQ(result.code, 47u);
  EXPECT_EQ(result.message, "Interrupted by user.");
  EXPECT_EQ(fake_store::Get().calls.size(), 1u);
  EXPECT_EQ(out, "");
  const std::string text = log.Text();
  EXPECT_NE(text.find("Encrypt file error."), std::string::npos);
  EXPECT_EQ(text.find("Exiting  ENCRYPT::EncryptProc"), std::string::npos);
}

TEST_F(ProcedureTest, MissingStoreInstanceIsAnInternalError) {
  fake_store::Get().null_instance = true;
  ScopedLogCapture log(1);
  EXPECT_EQ(Run({{"unattended", ""}}).code, 17u);
  const std::string text = log.Text();
  const size_t instance = text.find("Get EnDecrypt instance error.");
  ASSERT_NE(instance, std::string::npos);
  EXPECT_NE(text.find("Encrypt file error.", instance), std::string::npos);
}

TEST_F(ProcedureTest, MissingInputIsReportedWithItsCode) {
  ScopedLogCapture log(1);
  HostContext context;
  context.options = {{"configfile", dir.File("absent.json")}, {"unattended", ""}};
  ENCRYPT command;
  (void)command.SetParameters(context);
  const CommandResult result = command.Run();
  EXPECT_EQ(result.code, 6u);
  EXPECT_EQ(result.message, "File doesn't exist.");
  EXPECT_NE(log.Text().find("Read customer file error: 6."), std::string::npos);
}

}  // namespace
