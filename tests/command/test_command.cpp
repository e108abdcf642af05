// The commands against real stores: encrypt on the process's engine, set
// up by the test's configuration, with its keys typed on standard input;
// the other commands on an engine of the test's own. How each store answer
// and each prompt answer ends a run, what reaches the store, and which
// secrets are wiped before their memory is freed.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include <boost/filesystem.hpp>
#include <boost/property_tree/json_parser.hpp>

#if defined(__linux__)
#include <sys/prctl.h>
#include <sys/resource.h>
#endif

#include "Src/Misc/Common/RecordWriter.h"
#include "Src/Misc/Common/StoreStatus.h"
#include "Src/Misc/Decrypt/Decrypt.h"
#include "Src/Misc/List/List.h"
#include "Src/Misc/Verify/Verify.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "suite/endecrypt/StoreEngine.h"
#include "suite/platform/FileSystem.h"
#include "tests/support/EncryptProbe.h"
#include "tests/support/ScopedStdin.h"
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
using platform::FileResult;
using Records = std::map<std::string, std::string>;
using testing_support::WriteFile;

constexpr char kPass[] = "longenough";

bool CoreDumpsOff() {
#if defined(__linux__)
  rlimit limit{};
  return ::prctl(PR_GET_DUMPABLE) == 0 && ::getrlimit(RLIMIT_CORE, &limit) == 0 &&
         limit.rlim_cur == 0;
#else
  return true;
#endif
}

// The system's file layer, which can lose a store between the read of its
// header and the read of the whole.
class WatchedFiles : public platform::FileSystem {
 public:
  FileResult ReadWholeFile(const std::string& path, std::size_t max_size,
                           std::vector<unsigned char>& contents) override {
    if (vanished) return FileResult::kNotFound;
    return FileSystem::ReadWholeFile(path, max_size, contents);
  }

  bool vanished = false;
};

// encrypt runs on the process's engine, which the configuration sets up:
// cheap key derivation, the host key in the test's folder. The other
// commands, and the test's own look at the stores, use an engine of the
// test's own with the same settings and the file layer above.
class CommandTest : public testing::Test {
 protected:
  CommandTest() : config(Config(Settings())) {
    endecrypt::StoreOptions options;
    options.files = &files;
    options.settings.emplace();
    options.settings->costs = {1, 8192};
    options.settings->host_key_path = dir.File("keys/host.key");
    EXPECT_EQ(endecrypt::StoreEngine::Open(options, engine), s::kOk);
    store = std::make_unique<EnDecrypt>(*engine);
    Input(R"({"sensitive_settings": {"db": "v1"}})");
  }
  std::string Config(const std::string& settings) const {
    return "ENCRYPT_SETTING_PATH=" + settings +
           "\nENCRYPTED_CREDENTIALS_FILE_PATH=" + dir.File("credentials.store") +
           "\nENCRYPT_HOST_KEY_PATH=" + dir.File("keys/host.key") +
           "\nENCRYPT_KDF_OPSLIMIT=1\nENCRYPT_KDF_MEMLIMIT=8192\n";
  }

  void Input(const std::string& text) { WriteFile(dir.File("input.json"), text); }
  std::string Settings() const { return dir.File("settings.store"); }
  // The records of the settings store opened with `passphrase`, or none.
  Records Stored(const std::string& passphrase) {
    Records records;
    return store->Decrypt(Settings(), records, passphrase) == s::kOk ? records : Records{};
  }

  // A whole encrypt run with `options` and `keys` typed; stdout lands in out.
  uint32_t Run(const std::map<std::string, std::string>& options, const std::string& keys = "") {
    const testing_support::ScopedStdin typed(keys);
    return RunTyped(options);
  }
  // The same, reading whatever standard input holds.
  uint32_t RunTyped(std::map<std::string, std::string> options) {
    options["configfile"] = dir.File("input.json");
    HostContext context;
    context.options = options;
    EncryptProbe command;
    EXPECT_EQ(command.SetParameters(context).code, ERR_SUCCEED);
    testing::internal::CaptureStdout();
    const CommandResult result = command.Run();
    out = testing::internal::GetCapturedStdout();
    return result.code;
  }

  // list, verify or decrypt with `options` and `keys` typed, on the test's
  // engine.
  uint32_t RunStoreCommand(const std::string& name,
                           const std::map<std::string, std::string>& options,
                           const std::string& keys) {
    std::unique_ptr<CommandFrame> command;
    if (name == "list") command = std::make_unique<LIST>();
    if (name == "verify") command = std::make_unique<VERIFY>();
    if (name == "decrypt") command = std::make_unique<DECRYPT>();
    HostContext context;
    context.options = options;
    ScriptedKeys typed(keys);
    command->SetEnv({store.get(), &typed});
    EXPECT_EQ(command->SetParameters(context).code, ERR_SUCCEED);
    return command->Run().code;
  }

  testing_support::ScopedTempDir dir;
  testing_support::ScopedConfig config;
  WatchedFiles files;
  std::unique_ptr<endecrypt::StoreEngine> engine;
  std::unique_ptr<EnDecrypt> store;
  std::string out;
};

// The settings store a case starts from.
enum class Before { kNone, kAttended, kOtherPassphrase, kUnattended, kDamaged };
// What goes wrong once it is there: the host key is lost, or the store's
// folder is a regular file, so no write there can succeed.
enum class Fault { kNone, kHostKeyGone, kFolderIsAFile };

struct StoreCase {
  const char* what;
  Before before;
  bool unattended;  // the run's mode
  Fault fault;
  const char* keys;
  uint32_t expected;
  bool changes;  // the run wrote the store
};

TEST_F(CommandTest, EachStoreAndPromptAnswerEndsTheRunWithItsCode) {
  using B = Before;
  using F = Fault;
  const char* const kTyped = "longenough\r";
  const StoreCase cases[] = {
      {"new, unattended", B::kNone, true, F::kNone, "", ERR_SUCCEED, true},
      {"update, Enter", B::kUnattended, true, F::kNone, "\r", ERR_SUCCEED, true},
      {"update declined", B::kUnattended, true, F::kNone, "n\r", ERR_INTERRUPTED, false},
      {"attended store", B::kAttended, true, F::kNone, "", ERR_MODE_CONFLICT, false},
      {"unattended store", B::kUnattended, false, F::kNone, "", ERR_MODE_CONFLICT, false},
      {"mode unreadable", B::kDamaged, true, F::kNone, "", ERR_ENCRYPTED_FILE_INVALID, false},
      {"wrong passphrase", B::kOtherPassphrase, false, F::kNone, kTyped, ERR_PASSPHRASE, false},
      {"no host key", B::kUnattended, true, F::kHostKeyGone, "", ERR_NO_MATCHING_CREDENTIAL, false},
      {"write failed", B::kNone, true, F::kFolderIsAFile, "", ERR_WRITE_FILE, false},
      {"new, attended", B::kNone, false, F::kNone, "longenough\rlongenough\r", ERR_SUCCEED, true},
      {"short passphrase", B::kNone, false, F::kNone, "short77\r", ERR_PASSPHRASE, false},
      {"attended update", B::kAttended, false, F::kNone, "longenough\ry\r", ERR_SUCCEED, true},
  };
  for (const StoreCase& c : cases) {
    SCOPED_TRACE(c.what);
    boost::filesystem::remove_all(dir.File("keys"));
    boost::filesystem::remove(Settings());
    const Records old_records{{"old", "kept"}};
    if (c.before == B::kDamaged) WriteFile(Settings(), "sealed");
    const bool attended = c.before == B::kAttended || c.before == B::kOtherPassphrase;
    if (c.before != B::kNone && c.before != B::kDamaged) {
      const std::string passphrase = c.before == B::kOtherPassphrase ? "otherpassphrase"
                                     : attended                      ? kPass
                                                                     : "";
      ASSERT_EQ(store->Encrypt(old_records, Settings(), passphrase, false), s::kOk);
    }
    if (c.fault == F::kHostKeyGone) boost::filesystem::remove_all(dir.File("keys"));
    if (c.fault == F::kFolderIsAFile) {
      WriteFile(dir.File("file"), "");
      config.Set(Config(dir.File("file/settings.store")));
    }
    const std::string before = testing_support::ReadFile(Settings());
    std::map<std::string, std::string> options;
    if (c.unattended) options["unattended"] = "";
    EXPECT_EQ(Run(options, c.keys), c.expected);
    config.Set(Config(Settings()));
    // Every write is sealed under a fresh nonce: a store written is changed.
    EXPECT_EQ(testing_support::ReadFile(Settings()) != before, c.changes);
    EXPECT_TRUE(CoreDumpsOff());
    // A write merges: what was stored stays beside the input's record.
    if (c.expected == ERR_SUCCEED) {
      Records expected{{"db", "v1"}};
      if (c.before != B::kNone) expected.insert(old_records.begin(), old_records.end());
      EXPECT_EQ(Stored(c.unattended ? "" : kPass), expected);
    }
  }
}

// An update's store that is gone when its records are read, after its mode
// was, ends the update with its own code (the other rows show a failed
// count ending the run before the write).
TEST_F(CommandTest, AStoreGoneAfterItsModeWasReadEndsTheUpdate) {
  ASSERT_EQ(store->Encrypt({{"k", "v"}}, Settings(), "", false), s::kOk);
  files.vanished = true;
  EnDecrypt::ReadForUpdate read;
  EXPECT_EQ(CountStoreChanges(*store, Settings(), "", {{"k", "w"}}, &read, &MapStoreStatus),
            ERR_ENCRYPTED_FILE_NOT_EXIST);
}

TEST_F(CommandTest, UpdateCountsCompareKeysAndValuesByteForByte) {
  ASSERT_EQ(store->Encrypt({{"Host", "a"}, {"port", "80"}, {"same", "v"}, {"case", "abc"}},
                           Settings(), "", false),
            s::kOk);
  Input(R"({"sensitive_settings": {"host": "a", "port": "8080", "same": "v", "case": "ABC",
            "new": ""}})");
  EXPECT_EQ(Run({{"unattended", ""}, {"quiet", ""}}), ERR_SUCCEED);
  EXPECT_EQ(out.substr(0, out.find('\n')), "add: 2, update: 2");
  const Records stored = Stored("");
  EXPECT_EQ(stored.size(), 6u);  // the store merges
  EXPECT_EQ(stored.at("port"), "8080");
}

TEST_F(CommandTest, MissingPathsOrInputEndTheRunBeforeTheStore) {
  config.Set("ENCRYPTED_CREDENTIALS_FILE_PATH=" + dir.File("credentials.store") + "\n");
  EXPECT_EQ(Run({{"unattended", ""}}), ERR_READ_FILE);
  boost::filesystem::remove(dir.File("input.json"));
  EXPECT_EQ(Run({{"unattended", ""}}), ERR_FILE_NOT_EXIST);
  EXPECT_FALSE(boost::filesystem::exists(Settings()));
  EXPECT_FALSE(boost::filesystem::exists(dir.File("credentials.store")));
}

// Every text and name in a JSON document, at any depth.
void CollectTexts(const boost::property_tree::ptree& tree, std::set<std::string>& texts) {
  for (const auto& [name, child] : tree) {
    texts.insert(name);
    texts.insert(child.data());
    CollectTexts(child, texts);
  }
}

// The JSON every store command prints parses and carries the key (verify:
// the path) byte for byte, escapes and all, from stores of both modes.
TEST_F(CommandTest, JsonOutputCarriesKeysExactly) {
  const std::string key = std::string("q\"b\\c") + '\x01' + "\td";
  for (const bool unattended : {false, true}) {
    boost::filesystem::remove(Settings());
    ASSERT_EQ(
        store->Encrypt({{key, "v"}, {"plain", "w"}}, Settings(), unattended ? "" : kPass, false),
        s::kOk);
    for (const std::string name : {"list", "verify", "decrypt"}) {
      SCOPED_TRACE(name + (unattended ? ", unattended" : ", attended"));
      std::map<std::string, std::string> options{{"type", "settings"}};
      if (name != "decrypt") options["json"] = "";
      if (unattended) options["unattended"] = "";
      testing::internal::CaptureStdout();
      testing::internal::CaptureStderr();
      EXPECT_EQ(RunStoreCommand(name, options, unattended ? "" : "longenough\r"), ERR_SUCCEED);
      std::istringstream printed(testing::internal::GetCapturedStdout());
      testing::internal::GetCapturedStderr();
      boost::property_tree::ptree tree;
      EXPECT_NO_THROW(boost::property_tree::read_json(printed, tree)) << printed.str();
      std::set<std::string> texts;
      CollectTexts(tree, texts);
      EXPECT_EQ(texts.count(name == "verify" ? Settings() : key), 1u) << printed.str();
    }
  }
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
  ASSERT_EQ(store->Encrypt({{"db", marker + "-stored"}}, Settings(), marker, false), s::kOk);
  // Typed ahead, before the watch: writing the keys' file frees a copy.
  const testing_support::ScopedStdin typed(marker + "\ry\r" + marker + "\r" + marker + "\r");
  RecordMap records{{"k", marker}};
  {
    // Built beforehand: no temporary copy of the marker is freed in here.
    FreedMemoryWatch watch(marker);
    EXPECT_EQ(RunTyped({}), ERR_SUCCEED);
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
      ScriptedKeys none("");
      IMPORT command;
      command.SetEnv({store.get(), &none});
      ASSERT_EQ(command.SetParameters(context).code, ERR_SUCCEED);
      testing::internal::CaptureStdout();
      testing::internal::CaptureStderr();
      const uint32_t code = command.Run().code;
      testing::internal::GetCapturedStdout();
      testing::internal::GetCapturedStderr();
      EXPECT_EQ(code, std::string(input) == "in.age" ? ERR_SUCCEED : ERR_OPEN_FILE);
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
