// The checks before a type is written, against a scripted store.
#include <gtest/gtest.h>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "tests/command/FakeStore.h"
#include "tests/command/ScriptedKeys.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::ScopedLogCapture;
using testing_support::ScopedTempDir;

class Command : public ENCRYPT {
 public:
  void SetRecords(FileType type, RecordMap records) { file_records[type] = std::move(records); }
  void SetOptions(std::map<std::string, std::string> options) {
    context.options = std::move(options);
  }
};

class PreCheckTest : public testing::Test {
 protected:
  void SetUp() override {
    fake_store::Reset();
    store_path = dir.File("settings.store");
  }
  void CreateStore() { testing_support::WriteFile(store_path, "sealed"); }

  // Runs the pre-check; stdout lands in out.
  int Check(int mode, std::string& passphrase) {
    testing::internal::CaptureStdout();
    const FileType type = SensitiveSetting;
    const int code = command.EncryptPreCheck(mode, store_path, passphrase, type);
    out = testing::internal::GetCapturedStdout();
    return code;
  }

  ScopedTempDir dir;
  std::string store_path;
  Command command;
  std::string out;
};

TEST_F(PreCheckTest, UnattendedNewStoreAsksNothing) {
  std::string passphrase;
  EXPECT_EQ(Check(1, passphrase), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(passphrase, "");
  EXPECT_TRUE(fake_store::Get().calls.empty());
}

TEST_F(PreCheckTest, ModeMixIsRefusedBeforeAnyPromptOrDecryption) {
  CreateStore();
  fake_store::Get().mode = 0;
  ScopedLogCapture log(1);
  std::string passphrase;
  EXPECT_EQ(Check(1, passphrase), 45);
  EXPECT_EQ(out, "");
  EXPECT_EQ(fake_store::Get().calls, std::vector<std::string>{"mode " + store_path});
  const std::string text = log.Text();
  EXPECT_NE(text.find("Failed in encrypt file " + store_path + " though mode is mixed."),
            std::string::npos);
  EXPECT_NE(text.find("Prepare for update encrypted file error: 45"), std::string::npos);
}

TEST_F(PreCheckTest, StoreThatNamesNoModeMatchesNeither) {
  CreateStore();
  std::string passphrase;
  EXPECT_EQ(Check(1, passphrase), 45);
  EXPECT_EQ(Check(0, passphrase), 45);
}

TEST_F(PreCheckTest, FailedModeQueryIsMapped) {
  CreateStore();
  fake_store::Get().mode_status = 2;
  ScopedLogCapture log(1);
  std::string passphrase;
  EXPECT_EQ(Check(1, passphrase), 49);
  EXPECT_NE(log.Text().find("Get file " + store_path + " last mode error."), std::string::npos);
}

TEST_F(PreCheckTest, MissingStoreInstanceIsAnInternalError) {
  CreateStore();
  fake_store::Get().null_instance = true;
  ScopedLogCapture log(1);
  std::string passphrase;
  EXPECT_EQ(Check(1, passphrase), 17);
  EXPECT_NE(log.Text().find("Get EnDecrypt instance error."), std::string::npos);
}

TEST_F(PreCheckTest, QuietUpdateCountsByteExactKeysAndValues) {
  CreateStore();
  fake_store::Script& store = fake_store::Get();
  store.mode = 1;
  store.stored = {{"Host", "a"}, {"port", "80"}, {"same", "v"}, {"case", "abc"}};
  command.SetRecords(SensitiveSetting,
                      {{"host", "a"}, {"port", "8080"}, {"same", "v"}, {"case", "ABC"}, {"new", ""}});
  command.SetOptions({{"quiet", ""}});
  std::string passphrase;
  EXPECT_EQ(Check(1, passphrase), 0);
  // "host" differs from "Host" only in case: an add; "case" differs in value case: an update.
  EXPECT_EQ(out, "add: 2, update: 2\n");
  EXPECT_EQ(store.passphrases, std::vector<std::string>{""});
}

TEST_F(PreCheckTest, NothingChangedStillShowsZeroCounts) {
  CreateStore();
  fake_store::Get().mode = 1;
  fake_store::Get().stored = {{"k", "v"}};
  command.SetRecords(SensitiveSetting, {{"k", "v"}});
  command.SetOptions({{"quiet", "no"}});
  std::string passphrase;
  EXPECT_EQ(Check(1, passphrase), 0);
  EXPECT_EQ(out, "add: 0, update: 0\n");
}

TEST_F(PreCheckTest, FailedDecryptionStopsTheUpdate) {
  CreateStore();
  fake_store::Get().mode = 1;
  fake_store::Get().decrypt_status = 13;
  ScopedLogCapture log(1);
  std::string passphrase;
  EXPECT_EQ(Check(1, passphrase), 46);
  EXPECT_EQ(out, "");
  const std::string text = log.Text();
  EXPECT_NE(text.find("Parse the file " + store_path + " fail."), std::string::npos);
  EXPECT_NE(text.find("Prepare for update encrypted file error: 46"), std::string::npos);
}

TEST_F(PreCheckTest, DirectoryAtTheStorePathCountsAsExisting) {
  boost::filesystem::create_directory(store_path);
  fake_store::Get().mode_status = 2;
  std::string passphrase;
  EXPECT_EQ(Check(1, passphrase), 49);
  EXPECT_EQ(fake_store::Get().calls.size(), 1u);
}

// Attended branches: the passphrase prompt and the confirmation.

TEST_F(PreCheckTest, AttendedNewStoreTakesThePassphrase) {
  ScriptedKeys keys("longenough\rlongenough\r");
  std::string passphrase;
  EXPECT_EQ(Check(0, passphrase), 0);
  EXPECT_EQ(passphrase, "longenough");
  EXPECT_TRUE(fake_store::Get().calls.empty());
}

TEST_F(PreCheckTest, AttendedNewStoreWithShortPassphraseIsLoggedWithoutTheSecret) {
  ScriptedKeys keys("short7!\r");
  ScopedLogCapture log(4);
  std::string passphrase;
  EXPECT_EQ(Check(0, passphrase), 46);
  const std::string text = log.Text();
  EXPECT_NE(text.find("Get user passphrase to encrypt file " + store_path + "error: 46"),
            std::string::npos);
  EXPECT_EQ(text.find("short7!"), std::string::npos);
  EXPECT_EQ(text.find("Exiting  ENCRYPT::EncryptPreCheck"), std::string::npos);
}

TEST_F(PreCheckTest, AttendedUpdateAsksOnceDecryptsWithItAndConfirms) {
  CreateStore();
  fake_store::Get().mode = 0;
  command.SetRecords(SensitiveSetting, {{"k", "v"}});
  ScriptedKeys keys("longenough\ry\r");
  std::string passphrase;
  EXPECT_EQ(Check(0, passphrase), 0);
  EXPECT_EQ(fake_store::Get().passphrases, std::vector<std::string>{"longenough"});
  EXPECT_EQ(out,
            "please enter the passphrase for \"" + store_path + "\".\n  Enter passphrase: \n"
            "add: 1, update: 0\n"
            "Are you sure you want to continue to update the file " + store_path +
                " (Y/N)?\n  Enter (Y/N): ");
}

TEST_F(PreCheckTest, DeclinedUpdateIsAnInterruption) {
  CreateStore();
  fake_store::Get().mode = 1;
  ScriptedKeys keys("n\r");
  ScopedLogCapture log(4);
  std::string passphrase;
  EXPECT_EQ(Check(1, passphrase), 47);
  EXPECT_EQ(keys.fields_opened, 1);  // the question only: unattended asks no passphrase
  EXPECT_EQ(log.Text().find("Exiting  ENCRYPT::EncryptPreCheck"), std::string::npos);
}

}  // namespace
