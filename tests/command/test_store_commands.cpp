// The nine store commands against real stores on an engine of the test's
// own: the code each store, answer and key gives a run, and what the run
// leaves in the store (nothing, when it fails).
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "Src/Misc/Decrypt/Decrypt.h"
#include "Src/Misc/Edit/Edit.h"
#include "Src/Misc/Export/Export.h"
#include "Src/Misc/Get/Get.h"
#include "Src/Misc/List/List.h"
#include "Src/Misc/Rekey/Rekey.h"
#include "Src/Misc/Remove/Remove.h"
#include "Src/Misc/Set/Set.h"
#include "Src/Misc/Verify/Verify.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "suite/age/AgeFormat.h"
#include "suite/endecrypt/StoreEngine.h"
#include "tests/support/ScriptedKeys.h"
#include "tests/support/TestSupport.h"

namespace {

namespace s = endecrypt_status;
using Options = std::map<std::string, std::string>;
using Records = std::map<std::string, std::string>;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr char kPass[] = "longenough";
constexpr char kNew[] = "newpassphrase";
// The value file holds one more newline than set stores.
const std::string kValue = "new\tv\xc3\xa9\n";
const Records kStart{{"db", "v1"}, {"other", "kept"}};

class StoreCommandTest : public testing::Test {
 protected:
  StoreCommandTest()
      : config("ENCRYPT_SETTING_PATH=" + Path("settings") +
               "\nENCRYPTED_CREDENTIALS_FILE_PATH=" + Path("credentials") +
               "\nENCRYPT_HOST_KEY_PATH=" + dir.File("host.key") +
               "\nENCRYPT_KDF_OPSLIMIT=1\nENCRYPT_KDF_MEMLIMIT=8192\n") {
    endecrypt::StoreOptions options;
    options.settings.emplace();
    options.settings->costs = {1, 8192};
    options.settings->host_key_path = dir.File("host.key");
    EXPECT_EQ(endecrypt::StoreEngine::Open(options, engine), s::kOk);
    store = std::make_unique<EnDecrypt>(*engine);
    WriteFile(dir.File("value"), kValue + "\n");
    const unsigned char seed[age::kKeySize] = {7};
    EXPECT_EQ(age::MakeIdentityFromSeed(seed, identities.front()), age::AgeStatus::kOk);
  }

  std::string Path(const std::string& type) const { return dir.File(type + ".store"); }
  std::string Bytes(const std::string& path) const {
    return boost::filesystem::exists(path) ? ReadFile(path) : "absent";
  }
  // The records of the store at `path` opened with `passphrase` ("": the
  // host key), or none.
  Records Stored(const std::string& path, const std::string& passphrase) {
    Records records;
    return store->Decrypt(path, records, passphrase) == s::kOk ? records : Records{};
  }
  bool IsAttended(const std::string& path) {
    EncryptionMode mode = kUnattendedMode;
    EXPECT_TRUE(store->GetFileLastEncryptionMode(path, mode).IsOk());
    return mode == kAttendedMode;
  }
  // Replaces the store at `path` by `records`, sealed with `passphrase`.
  void Seal(const std::string& path, const Records& records, const std::string& passphrase) {
    boost::filesystem::remove(path);
    ASSERT_EQ(store->Encrypt(records, path, passphrase, false), s::kOk);
  }

  // A whole run of the command `name` with `options` and `keys` typed;
  // standard output lands in out.
  uint32_t Run(const std::string& name, Options options, const std::string& keys) {
    std::unique_ptr<CommandFrame> command;
    if (name == "decrypt") command = std::make_unique<DECRYPT>();
    if (name == "list") command = std::make_unique<LIST>();
    if (name == "verify") command = std::make_unique<VERIFY>();
    if (name == "get") command = std::make_unique<GET>();
    if (name == "set") command = std::make_unique<SET>();
    if (name == "remove") command = std::make_unique<REMOVE>();
    if (name == "rekey") command = std::make_unique<REKEY>();
    if (name == "edit") command = std::make_unique<EDIT>();
    if (name == "export") command = std::make_unique<EXPORT>();
    HostContext context;
    context.options = std::move(options);
    ScriptedKeys typed(keys);
    command->SetEnv({store.get(), &typed});
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    uint32_t code = command->SetParameters(context).code;
    if (code == ERR_SUCCEED) code = command->Run().code;
    out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return code;
  }

  testing_support::ScopedTempDir dir;
  testing_support::ScopedConfig config;
  std::unique_ptr<endecrypt::StoreEngine> engine;
  std::unique_ptr<EnDecrypt> store;
  std::vector<age::Identity> identities = std::vector<age::Identity>(1);  // export's reader
  std::string out;
};

enum class Start { kNone, kAttended, kUnattended };

// Every command opens the store the same way; each is run on each store
// state, and a success leaves exactly the command's change.
TEST_F(StoreCommandTest, EveryCommandOnEachStoreAndAnswer) {
  struct Command {
    const char* name;
    Options options;
    const char* keys;  // typed after the passphrase
    Records after;
    const char* printed;  // held by standard output (export: its file decrypted); "" unchecked
  };
  const std::string settings = Path("settings");
  // A file, not standard output: the capture of standard output is text on
  // Windows.
  const std::string exported = dir.File("exported.age");
  std::vector<Command> commands = {
      {"decrypt", {}, "", kStart, "\"v1\""},
      {"list", {}, "", kStart, "db\nother\n"},
      {"verify", {}, "", kStart, ""},
      {"get", {{"key", "db"}}, "", kStart, "v1\n"},
      {"set", {{"key", "db"}, {"value-from", dir.File("value")}}, "y\r",
       {{"db", kValue}, {"other", "kept"}}, ""},
      {"remove", {{"key", "db"}}, "y\r", {{"other", "kept"}}, ""},
      {"rekey", {}, "newpassphrase\rnewpassphrase\r", kStart, ""},
      {"export", {{"recipient", age::FormatRecipient(identities.front())}, {"output", exported}}, "",
       kStart, "\"v1\""},
  };
#if !defined(_WIN32)
  WriteFile(dir.File("editor.sh"), "#!/bin/sh\nsed -i 's/\"v1\"/\"v2\"/' \"$1\"\n");
  boost::filesystem::permissions(dir.File("editor.sh"), boost::filesystem::owner_all);
  const testing_support::ScopedEnv editor("EDITOR", dir.File("editor.sh"));
  const testing_support::ScopedEnv visual("VISUAL", std::nullopt);
  commands.push_back({"edit", {{"quiet", ""}}, "", {{"db", "v2"}, {"other", "kept"}}, ""});
#endif
  const struct Opening {
    const char* what;
    Start start;
    bool unattended;  // the run's option
    const char* typed;
    uint32_t expected;
  } openings[] = {
      {"attended, passphrase typed", Start::kAttended, false, "longenough\r", ERR_SUCCEED},
      {"unattended, host key", Start::kUnattended, true, "", ERR_SUCCEED},
      {"unattended, mode from the store", Start::kUnattended, false, "", ERR_SUCCEED},
      {"no store", Start::kNone, true, "", ERR_FILE_NOT_EXIST},
      {"wrong passphrase", Start::kAttended, false, "wrongpassphrase\r", ERR_PASSPHRASE},
      {"--unattended on an attended store", Start::kAttended, true, "", ERR_MODE_CONFLICT},
  };
  for (const Opening& o : openings) {
    for (const Command& c : commands) {
      SCOPED_TRACE(std::string(c.name) + ": " + o.what);
      boost::filesystem::remove(settings);
      const bool attended = o.start == Start::kAttended;
      if (o.start != Start::kNone) Seal(settings, kStart, attended ? kPass : "");
      Options options = c.options;
      options["type"] = "settings";
      if (o.unattended) options["unattended"] = "";
      const std::string before = Bytes(settings);
      boost::filesystem::remove(exported);
      // set makes a store that is not there, in the run's mode.
      const bool made = o.start == Start::kNone && std::string(c.name) == "set";
      const uint32_t code = Run(c.name, options, std::string(o.typed) + c.keys);
      EXPECT_EQ(code, made ? ERR_SUCCEED : o.expected);
      if (code != ERR_SUCCEED) {
        EXPECT_EQ(Bytes(settings), before);
        continue;
      }
      const bool rekeyed = attended && std::string(c.name) == "rekey";
      const Records after = made ? Records{{"db", kValue}} : c.after;
      EXPECT_EQ(Stored(settings, attended ? (rekeyed ? kNew : kPass) : ""), after);
      // The old passphrase opens nothing after rekey.
      EXPECT_TRUE(!rekeyed || Stored(settings, kPass).empty());
      std::string shown = out;
      if (std::string(c.name) == "export") {
        const std::string file = Bytes(exported);
        age::SecretBytes plain;
        EXPECT_EQ(age::DecryptWithIdentities(identities,
                                             reinterpret_cast<const unsigned char*>(file.data()),
                                             file.size(), plain),
                  age::AgeStatus::kOk);
        shown.assign(reinterpret_cast<const char*>(plain.data()), plain.size());
      }
      EXPECT_NE(shown.find(c.printed), std::string::npos) << shown;
    }
  }
}

// What a command's own answers and keys decide: an absent key, a question
// declined, a pair kept whole, and the key a store is sealed with after rekey.
TEST_F(StoreCommandTest, EachAnswerAndKeyDecidesWhatReachesTheStore) {
  const Records pairs{{"h0/user", "u"}, {"h0/password", "p"}, {"h1/user", "w"},
                      {"h1/password", "q"}};
  const std::string value = dir.File("value");
  const struct Row {
    const char* what;
    const char* command;
    const char* type;
    const Records& start;
    const char* sealed;  // the start's passphrase; "": the host key
    Options options;
    const char* keys;
    uint32_t expected;
    Records after;  // on success
    const char* opens;  // what opens the store after a success
  } rows[] = {
      {"get: key not stored", "get", "settings", kStart, "", {{"key", "nope"}}, "",
       ERR_GENERIC_FAILURE, {}, ""},
      {"remove: key not stored", "remove", "settings", kStart, "", {{"key", "nope"}, {"quiet", ""}},
       "", ERR_GENERIC_FAILURE, {}, ""},
      {"set: Enter is no", "set", "settings", kStart, "", {{"key", "db"}, {"value-from", value}},
       "\r", ERR_INTERRUPTED, {}, ""},
      {"remove: Enter is no", "remove", "settings", kStart, "", {{"key", "db"}}, "\r",
       ERR_INTERRUPTED, {}, ""},
      {"rekey: input ends at the new passphrase", "rekey", "settings", kStart, kPass, {},
       "longenough\r", ERR_USER_QUIT, {}, ""},
      {"rekey: confirmation differs", "rekey", "settings", kStart, kPass, {},
       "longenough\rnewpassphrase\rnewpassphrasf\r", ERR_PASSPHRASE, {}, ""},
      {"rekey to unattended", "rekey", "settings", kStart, kPass, {{"to-unattended", ""}},
       "longenough\r", ERR_SUCCEED, kStart, ""},
      {"rekey to attended", "rekey", "settings", kStart, "", {{"to-attended", ""}},
       "newpassphrase\rnewpassphrase\r", ERR_SUCCEED, kStart, kNew},
      {"set: a new target whole", "set", "credentials", pairs, "",
       {{"target", "h2"}, {"user", "admin"}, {"value-from", value}, {"quiet", ""}}, "",
       ERR_SUCCEED,
       {{"h0/user", "u"}, {"h0/password", "p"}, {"h1/user", "w"}, {"h1/password", "q"},
        {"h2/user", "admin"}, {"h2/password", kValue}},
       ""},
      {"set: half a new pair", "set", "credentials", pairs, "",
       {{"key", "h2/password"}, {"value-from", value}, {"quiet", ""}}, "", ERR_INVALID_PARAMETER,
       {}, ""},
      {"set: one half of a stored pair", "set", "credentials", pairs, kPass,
       {{"key", "h0/password"}, {"value-from", value}, {"quiet", ""}}, "longenough\r",
       ERR_SUCCEED,
       {{"h0/user", "u"}, {"h0/password", kValue}, {"h1/user", "w"}, {"h1/password", "q"}},
       kPass},
      {"remove: one half of a pair", "remove", "credentials", pairs, "",
       {{"key", "h0/user"}, {"quiet", ""}}, "", ERR_INVALID_PARAMETER, {}, ""},
      {"remove: a target, the others kept", "remove", "credentials", pairs, kPass,
       {{"target", "h0"}, {"quiet", ""}}, "longenough\r", ERR_SUCCEED,
       {{"h1/user", "w"}, {"h1/password", "q"}}, kPass},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string path = Path(row.type);
    Seal(path, row.start, row.sealed);
    const std::string before = Bytes(path);
    Options options = row.options;
    options["type"] = row.type;
    EXPECT_EQ(Run(row.command, options, row.keys), row.expected);
    if (row.expected != ERR_SUCCEED) {
      EXPECT_EQ(Bytes(path), before);
      continue;
    }
    EXPECT_EQ(Stored(path, row.opens), row.after);
    EXPECT_EQ(IsAttended(path), *row.opens != '\0');
    if (*row.sealed != '\0' && std::string(row.sealed) != row.opens) {
      EXPECT_EQ(Stored(path, row.sealed), Records{});
    }
  }
}

}  // namespace
