// The command against a scripted store: how each store answer and each
// prompt answer ends a run, what reaches the store, and which secrets are
// wiped before their memory is freed.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "tests/command/FakeStore.h"
#include "tests/support/EncryptProbe.h"
#include "tests/support/ScriptedKeys.h"
#include "tests/support/TestSupport.h"
#if !defined(_WIN32)
#include <sodium.h>

#include "Src/Misc/Common/PlainText.h"
#include "Src/Misc/Import/Import.h"
#include "suite/age/AgeFormat.h"
#include "tests/support/FreedMemory.h"
#endif

namespace {

namespace s = endecrypt_status;
using testing_support::WriteFile;

constexpr int kOk = s::kOk;

class CommandTest : public testing::Test {
 protected:
  CommandTest()
      : config("ENCRYPT_SETTING_PATH=" + dir.File("settings.store") +
               "\nENCRYPTED_CREDENTIALS_FILE_PATH=" + dir.File("credentials.store") + "\n") {
    fake_store::Reset();
    Input(R"({"sensitive_settings": {"db": "v1"}})");
  }
  ~CommandTest() override { fake_store::Reset(); }

  void Input(const std::string& text) { WriteFile(dir.File("input.json"), text); }
  void CreateStore(const std::string& name) { WriteFile(dir.File(name), "sealed"); }

  // A whole run with `options` and `keys` typed; stdout lands in out.
  uint32_t Run(std::map<std::string, std::string> options, const std::string& keys = "") {
    options["configfile"] = dir.File("input.json");
    HostContext context;
    context.options = options;
    ScriptedKeys typed(keys);
    ENCRYPT command;
    EXPECT_EQ(command.SetParameters(context).code, ERR_SUCCEED);
    testing::internal::CaptureStdout();
    const CommandResult result = command.Run();
    out = testing::internal::GetCapturedStdout();
    return result.code;
  }
  static std::string Calls() {
    std::string calls;
    for (const std::string& call : fake_store::Get().calls) calls += (calls.empty() ? "" : " ") + call.substr(0, call.find(' '));
    return calls;
  }

  testing_support::ScopedTempDir dir;
  testing_support::ScopedConfig config;
  std::string out;
};

struct StoreCase {
  const char* what;
  bool exists, unattended;
  std::optional<EncryptionMode> stored_mode;  // none: the mode query leaves the mode as it was
  int mode_status, decrypt_status, encrypt_status;
  const char* keys;
  uint32_t expected;
  const char* calls;
};

TEST_F(CommandTest, EachStoreAndPromptAnswerEndsTheRunWithItsCode) {
  constexpr std::optional<EncryptionMode> kNo;
  constexpr EncryptionMode kA = kAttendedMode, kU = kUnattendedMode;
  const char* const kPass = "longenough\r";
  const StoreCase cases[] = {
      {"new, unattended", false, true, kNo, kOk, kOk, kOk, "", ERR_SUCCEED, "mode encrypt"},
      {"update, Enter", true, true, kU, kOk, kOk, kOk, "\r", ERR_SUCCEED, "mode decrypt encrypt"},
      {"update declined", true, true, kU, kOk, kOk, kOk, "n\r", ERR_INTERRUPTED, "mode decrypt"},
      {"attended store", true, true, kA, kOk, kOk, kOk, "", ERR_MODE_CONFLICT, "mode"},
      {"unattended store", true, false, kU, kOk, kOk, kOk, "", ERR_MODE_CONFLICT, "mode"},
      {"mode unreadable", true, true, kU, s::kInvalidFile, kOk, kOk, "", ERR_ENCRYPTED_FILE_INVALID, "mode"},
      {"wrong passphrase", true, false, kA, kOk, s::kWrongPassphrase, kOk, kPass, ERR_PASSPHRASE, "mode decrypt"},
      {"no host key", true, true, kU, kOk, s::kNoCredential, kOk, "", ERR_NO_MATCHING_CREDENTIAL, "mode decrypt"},
      {"store vanished", true, true, kU, kOk, s::kNotExist, kOk, "", ERR_ENCRYPTED_FILE_NOT_EXIST, "mode decrypt"},
      {"write failed", false, true, kNo, kOk, kOk, s::kWriteFailed, "", ERR_WRITE_FILE, "mode encrypt"},
      {"unknown status", false, true, kNo, kOk, kOk, 99, "", ERR_ENCRYPT_DECRYPT, "mode encrypt"},
      {"new, attended", false, false, kNo, kOk, kOk, kOk, "longenough\rlongenough\r", ERR_SUCCEED, "mode encrypt"},
      {"short passphrase", false, false, kNo, kOk, kOk, kOk, "short77\r", ERR_PASSPHRASE, "mode"},
      {"attended update", true, false, kA, kOk, kOk, kOk, "longenough\ry\r", ERR_SUCCEED, "mode decrypt encrypt"},
  };
  for (const StoreCase& c : cases) {
    SCOPED_TRACE(c.what);
    fake_store::Reset();
    boost::filesystem::remove(dir.File("settings.store"));
    if (c.exists) CreateStore("settings.store");
    fake_store::Script& store = fake_store::Get();
    store.mode = c.stored_mode;
    store.mode_status = c.mode_status;
    store.decrypt_status = c.decrypt_status;
    store.encrypt_status = c.encrypt_status;
    std::map<std::string, std::string> options;
    if (c.unattended) options["unattended"] = "";
    EXPECT_EQ(Run(options, c.keys), c.expected);
    EXPECT_EQ(Calls(), c.calls);
    const std::string passphrase = c.unattended ? "" : "longenough";
    for (const std::string& used : store.passphrases) EXPECT_EQ(used, passphrase);
    EXPECT_EQ(store.flag.value_or(true), true);  // a write always merges
    EXPECT_EQ(store.dumps_off_at_write, store.flag.has_value());
    // An update's write takes over what its pre-check decrypted.
    EXPECT_EQ(store.write_took_read, std::string(c.calls) == "mode decrypt encrypt");
  }
}


TEST_F(CommandTest, UpdateCountsCompareKeysAndValuesByteForByte) {
  CreateStore("settings.store");
  fake_store::Script& store = fake_store::Get();
  store.mode = kUnattendedMode;
  store.stored = {{"Host", "a"}, {"port", "80"}, {"same", "v"}, {"case", "abc"}};
  Input(R"({"sensitive_settings": {"host": "a", "port": "8080", "same": "v", "case": "ABC",
            "new": ""}})");
  EXPECT_EQ(Run({{"unattended", ""}, {"quiet", ""}}), ERR_SUCCEED);
  EXPECT_EQ(out.substr(0, out.find('\n')), "add: 2, update: 2");
  EXPECT_EQ(store.written.size(), 5u);  // the input whole; the store merges
  EXPECT_EQ(store.written["port"], "8080");
}

TEST_F(CommandTest, MissingStoreInstancePathsOrInputEndTheRunBeforeTheStore) {
  fake_store::Get().null_instance = true;
  EXPECT_EQ(Run({{"unattended", ""}}), ERR_INTERNAL);
  CreateStore("settings.store");
  EXPECT_EQ(Run({{"unattended", ""}}), ERR_INTERNAL);
  fake_store::Reset();
  config.Set("ENCRYPTED_CREDENTIALS_FILE_PATH=" + dir.File("credentials.store") + "\n");
  EXPECT_EQ(Run({{"unattended", ""}}), ERR_READ_FILE);
  boost::filesystem::remove(dir.File("input.json"));
  EXPECT_EQ(Run({{"unattended", ""}}), ERR_FILE_NOT_EXIST);
  EXPECT_EQ(Calls(), "");
}

TEST_F(CommandTest, ConfigFileOptionIsRequiredAndTheContextKeptAnyway) {
  EncryptProbe command;
  HostContext context;
  context.options = {{"ConfigFile", "a.json"}};
  testing::internal::CaptureStderr();  // the refusal's text is checked end to end
  const CommandResult refused = command.SetParameters(context);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(refused.code, ERR_INVALID_PARAMETER);
  context.options = {{"configfile", dir.File("absent.json")}, {"unattended", ""}};
  EXPECT_EQ(command.SetParameters(context).code, ERR_SUCCEED);
  EXPECT_EQ(command.Run().code, ERR_FILE_NOT_EXIST);
}

#if !defined(_WIN32)
TEST_F(CommandTest, SecretsAreWipedBeforeTheirMemoryIsFreed) {
  const std::string marker = "MARKER-secret-0123456789";
  // Settings: an attended update whose stored values hold the marker;
  // credentials: a new store. The input file and the typed passphrase hold
  // the marker too.
  Input(R"({"sensitive_settings": {"db": ")" + marker + R"("},
            "credentials": [{"target": "bmc", "user": "u", "password": ")" + marker + R"("}]})");
  CreateStore("settings.store");
  fake_store::Get().mode = kAttendedMode;
  fake_store::Get().stored = {{"db", marker + "-stored"}};
  const std::string keys = marker + "\ry\r" + marker + "\r" + marker + "\r";
  RecordMap records{{"k", marker}};
  {
    // Built beforehand: no temporary copy of the marker is freed in here.
    FreedMemoryWatch watch(marker);
    EXPECT_EQ(Run({}, keys), ERR_SUCCEED);
    {
      EncryptProbe holder;
      holder.SetRecords(Credential, std::move(records));
    }
    EXPECT_EQ(watch.Hits(), 0);
  }
}

// import's plaintext, decrypted into guarded memory, and every record read
// from it are wiped before their memory is freed, also when the file is
// refused after its header opened.
TEST_F(CommandTest, ImportedSecretsAreWipedBeforeTheirMemoryIsFreed) {
  const std::string marker = "MARKER-import-0123456789";
  std::vector<age::Identity> identities(1);
  unsigned char seed[age::kKeySize] = {7};
  ASSERT_EQ(age::MakeIdentityFromSeed(seed, identities.front()), age::AgeStatus::kOk);
  SecretString key;
  ASSERT_EQ(age::FormatIdentity(identities.front(), key), age::AgeStatus::kOk);
  WriteFile(dir.File("admin.key"), std::string(key.data(), key.size()) + "\n");
  boost::filesystem::permissions(dir.File("admin.key"), boost::filesystem::owner_read);
  const std::string plaintext = R"({"sensitive_settings": {"db": ")" + marker + R"("},
      "credentials": [{"target": "bmc", "user": "u", "password": ")" + marker + R"("}]})";
  std::vector<unsigned char> file;
  ASSERT_EQ(age::EncryptToRecipients({identities.front().recipient},
                                     reinterpret_cast<const unsigned char*>(plaintext.data()),
                                     plaintext.size(), false, file),
            age::AgeStatus::kOk);
  WriteFile(dir.File("in.age"), std::string(file.begin(), file.end()));
  file.back() ^= 1;  // the payload's tag: refused after the plaintext was opened
  WriteFile(dir.File("damaged.age"), std::string(file.begin(), file.end()));
  for (const char* input : {"in.age", "damaged.age"}) {
    HostContext context;
    context.options = {{"input", dir.File(input)}, {"identity", dir.File("admin.key")},
                       {"unattended", ""}, {"quiet", ""}};
    FreedMemoryWatch watch(marker);
    {
      IMPORT command;
      ASSERT_EQ(command.SetParameters(context).code, ERR_SUCCEED);
      testing::internal::CaptureStdout();
      testing::internal::CaptureStderr();
      const uint32_t code = command.Run().code;
      testing::internal::GetCapturedStdout();
      testing::internal::GetCapturedStderr();
      EXPECT_EQ(code, std::string(input) == "in.age" ? ERR_SUCCEED : ERR_OPEN_FILE);
      WipeValues(fake_store::Get().written);
    }
    EXPECT_EQ(watch.Hits(), 0) << input;
  }
}

// decrypt's text is sized before it is written: a short count would move
// it, leaving a plaintext copy behind. Every kind of escape is counted.
TEST_F(CommandTest, DecryptedTextIsNeverMovedLeavingACopy) {
  const std::string marker = "MARKER-plain-0123456789";
  const std::string value = marker + "\"\\\b\f\n\r\t" + std::string(1, '\x01') + "\xc3\xa9";
  const RecordMap records{{"h/user", value}, {"h/password", value}};
  FreedMemoryWatch watch(marker);
  for (int credentials = 0; credentials < 2; ++credentials) {
    std::string text;
    std::string key;
    ASSERT_EQ(FormatPlainForm(records, credentials == 0 ? PlainForm::kSettings : PlainForm::kCredentials,
                              text, key),
              FormatFault::kNone);
    sodium_memzero(text.data(), text.size());
  }
  EXPECT_EQ(watch.Hits(), 0);
}
#endif

}  // namespace
