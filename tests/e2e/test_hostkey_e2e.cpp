// The hostkey command end to end, under a plain key file and under a
// software TPM: one scenario table per protection, a rotation killed
// midway, and a restore into a fresh key folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/algorithm/hex.hpp>
#include <boost/filesystem.hpp>
#include <csignal>
#include <cstdint>
#include <cstdlib>

#include "suite/platform/FileNames.h"
#include "tests/e2e/Home.h"
#include "tests/store/SoftwareTpm.h"
#include "tests/support/TestSupport.h"

namespace {

using e2e::Finished;
using testing_support::ReadFile;
using testing_support::WriteFile;

const std::string kBackup = "backup passphrase\n";
// The test vector of docs/store-format.md: the key 00 01 .. 1f under
// "vector passphrase".
const char kVector[] =
    "4b5658484b42414b01030000000000001000000000d32886f649ebe618bef8a89af7b081311a63b67ae9f323"
    "9d757083f63fa246a5a0163b7eb90b89f56a1fe1ae9fdf2e95adeb80a789300d60adf6bb2b96547cc7f496d2"
    "d3482367a3852cb0ba980a9b30d93e3f042f72ab87a76643ca25e1edeed252c47e0cb5232e8134f5279db7f858";

class HostKeyE2eTest : public e2e::HomeTest<testing::TestWithParam<std::string>> {
 protected:
  void SetUp() override {
    std::map<std::string, std::string> sealing;
    if (GetParam() == "tpm2") {
      if (!tpm.running()) GTEST_SKIP() << "swtpm is not installed or does not start";
      sealing = {{"ENCRYPT_HOST_KEY_PROTECTION", "tpm2"}, {"ENCRYPT_TPM2_TCTI", tpm.Tcti()}};
      // "deaf": the same key, through a TPM endpoint where nothing answers.
      WriteConfig({{"ENCRYPT_HOST_KEY_PROTECTION", "tpm2"},
                   {"ENCRYPT_TPM2_TCTI", "swtpm:host=127.0.0.1,port=1"},
                   {"ENCRYPT_HOST_KEY_PATH", dir.File("keys/host.key")}}, "deaf.config");
    }
    // "keys" last: the configuration of runs that name none.
    for (const std::string folder : {"fresh", "vector", "planted", "keys"}) {
      sealing["ENCRYPT_HOST_KEY_PATH"] = dir.File(folder + "/host.key");
      WriteConfig(sealing, folder + ".config");
    }
    WriteFile(dir.File("vector.bak"), boost::algorithm::unhex(std::string(kVector)));
    // A folder anyone may write, where someone left a link at the key's name.
    boost::filesystem::create_directory(dir.File("planted"));
    boost::filesystem::permissions(dir.File("planted"), boost::filesystem::all_all);
    WriteFile(dir.File("victim"), "not a key");
    boost::filesystem::create_symlink(dir.File("victim"), dir.File("planted/host.key"));
    WriteFile(dir.File("in.json"), "{\"sensitive_settings\": {\"a\": \"1\", \"b\": \"2\"}}");
    ASSERT_EQ(Run({"encrypt", "--configfile", "@in.json", "--unattended"}).status, 0);
    boost::filesystem::copy_file(dir.File("settings.store"), dir.File("extra.store"));
  }

  // A run with the configuration `config`.config.
  Finished Run(const std::vector<std::string>& args, const std::string& input = "",
               const std::string& config = "keys") {
    return Home::Run(args, input, {{"KELVOX_GLOBAL_CONFIG", dir.File(config + ".config")}});
  }
  std::string KeyId();
  // The kept keys beside the host key.
  std::vector<std::string> ListKeptKeys() const {
    std::vector<std::string> kept;
    for (const auto& entry : boost::filesystem::directory_iterator(dir.File("keys"))) {
      if (entry.path().filename().string().find(".kept-") != std::string::npos) {
        kept.push_back(entry.path().string());
      }
    }
    return kept;
  }
  // Both stores open with the key folder of `config`.
  void ExpectStoresOpen(const std::string& config = "keys") {
    for (const char* store : {"@settings.store", "@extra.store"}) {
      EXPECT_EQ(Run({"list", "--store", store, "--unattended"}, "", config).output, "a\nb\n");
    }
  }

  testing_support::SoftwareTpm tpm;
};

TEST_P(HostKeyE2eTest, EveryActionInTurn) {
  const std::string p = GetParam(), key = dir.File("keys/host.key");
  boost::filesystem::copy_file(dir.File("settings.store"), dir.File("more.store"));
  // A store path with bytes JSON escapes: a quote, a backslash, a tab.
  const std::string odd = "q\"b\\s\tt.store", odd_json = "q\\\"b\\\\s\\tt.store";
  const std::string first_id = KeyId();
  const struct Row { const char* what; std::vector<std::string> args; std::string input; int status; std::string output; std::string config = "keys"; } rows[] = {
      {"status of both stores", {"hostkey", "status", "--store", "@extra.store"}, "", 0, "~extra.store: unattended, this key\n"},
      {"no key in a fresh folder", {"hostkey", "status", "--json"}, "", 40, "~\"trusted\":false,\"problem\":\"there is no key file\"", "fresh"},
      {"seal as a plain file", {"hostkey", "seal", "--protection", "file"}, "", 0, "*"},
      {"seal back", {"hostkey", "seal", "--protection", p}, "", 0, "*"},
      {"status", {"hostkey", "status"}, "", 0, "~protection: " + p + "\n"},
      {"an unknown protection", {"hostkey", "seal", "--protection", "rot13"}, "", 5, ""},
      {"status --json escapes a store's path", {"hostkey", "status", "--json", "--store", "@" + odd}, "", 0,
       "~{\"path\":\"" + dir.File(odd_json) + "\",\"state\":\"absent\""},
      {"a backup passphrase of 11 characters", {"hostkey", "backup", "--output", "@bak"}, "eleven char\neleven char\n", 46, "*"},
      {"a backup passphrase of spaces", {"hostkey", "backup", "--output", "@bak"}, "            \n            \n", 46, "*"},
      {"a backup whose confirmation differs (writes nothing: the next row makes @bak)", {"hostkey", "backup", "--output", "@bak"}, kBackup + "backup passphrasf\n", 46, "*"},
      {"backup", {"hostkey", "backup", "--output", "@bak"}, kBackup + kBackup, 0, "*"},
      {"an existing backup is kept", {"hostkey", "backup", "--output", "@bak"}, kBackup + kBackup, 11, ""},
      {"rotate, not confirmed", {"hostkey", "rotate", "--store", "@extra.store"}, "", 47, "~Nothing changed."},
      {"rotate two named stores", {"hostkey", "rotate", "--store", "@extra.store", "--store", "@more.store"}, "y\n", 0, "~extra.store: moved to the new key\n"},
      {"retire, not answered: the key stays", {"hostkey", "retire", first_id}, "", 47, "~Nothing changed."},
      {"the second named store moved too", {"hostkey", "status", "--store", "@extra.store", "--store", "@more.store"}, "", 0, "~more.store: unattended, this key\n"},
      {"the new key keeps the protection", {"hostkey", "status"}, "", 0, "~protection: " + p + "\n"},
      {"restore over the key, not confirmed", {"hostkey", "restore", "--input", "@bak", "--force"}, "", 47, "~Nothing changed."},
      {"a wrong backup passphrase", {"hostkey", "restore", "--input", "@bak", "--force", "--quiet"}, "not the passphrase\n", 46, "*"},
      {"an existing key is kept", {"hostkey", "restore", "--input", "@bak"}, kBackup, 11, ""},
      {"backup of the new key", {"hostkey", "backup", "--output", "@new.bak"}, kBackup + kBackup, 0, "*"},
      {"the documented vector", {"hostkey", "restore", "--input", "@vector.bak", "--protection", "file"}, "vector passphrase\n", 0, "*", "vector"},
      {"restore in a fresh folder", {"hostkey", "restore", "--input", "@new.bak"}, kBackup, 0, "*", "fresh"},
      // The stores are under the key replaced here: they open only if it is kept.
      {"restore over the key, kept", {"hostkey", "restore", "--input", "@bak", "--force"}, "y\n" + kBackup, 0, "~is kept as"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string before = ReadFile(key);
    const Finished run = Run(row.args, row.input, row.config);
    EXPECT_EQ(run.status, row.status) << run.error;
    if (row.output.rfind("~", 0) == 0) {
      EXPECT_NE(run.output.find(row.output.substr(1)), std::string::npos) << run.output;
    } else if (row.output != "*") {
      EXPECT_EQ(run.output, row.output);
    }
    EXPECT_TRUE(row.status == 0 || ReadFile(key) == before);
    ExpectStoresOpen();
  }
  ExpectStoresOpen("fresh");
  // The backup is wrapped at no less than the default costs (3 passes,
  // 256 MiB), though the stores' configuration asks for the least.
  const std::string bak = ReadFile(dir.File("bak"));
  ASSERT_GE(bak.size(), 21u);
  std::uint64_t ops = 0, mem = 0;
  for (int i = 3; i >= 0; --i) ops = ops << 8 | static_cast<unsigned char>(bak[9 + i]);
  for (int i = 7; i >= 0; --i) mem = mem << 8 | static_cast<unsigned char>(bak[13 + i]);
  EXPECT_GE(ops, 3u);
  EXPECT_GE(mem, std::uint64_t{256} << 20);
  EXPECT_EQ(boost::algorithm::hex_lower(ReadFile(dir.File("vector/host.key"))),
            "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  EXPECT_EQ(ReadFile(dir.File("kelvox.log")).find("backup passphrase"), std::string::npos);
}

// A rotation killed midway leaves every store opening, and the next run
// moves every named store to its new key. The kill is real, at one known
// point: the key rotated, the named store not yet moved, the rotation
// waiting for the store's lock, which the test holds (every step a crash
// could stop, of rotate and retire: test_crash_points).
TEST_P(HostKeyE2eTest, KilledRotationLeavesEveryStoreOpening) {
  // swtpm has no resource manager: a killed process's objects stay loaded
  // and fill the TPM, which the kernel's manager would flush.
  if (GetParam() == "tpm2") GTEST_SKIP() << "needs a TPM resource manager";
  const int held = ::open(dir.File(platform::LockFileName("extra.store")).c_str(),
                          O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const std::string old_id = KeyId();
  e2e::PtySession rotation(Args({"hostkey", "rotate", "--quiet", "--store", "@extra.store"}), Env());
  ASSERT_TRUE(rotation.WaitFor("waiting for"));
  rotation.Signal(SIGKILL);
  EXPECT_EQ(rotation.Wait().signal, SIGKILL);
  ::close(held);
  EXPECT_NE(KeyId(), old_id) << "killed before the key was rotated";
  ExpectStoresOpen();
  boost::filesystem::copy_file(dir.File("extra.store"), dir.File("second.store"));
  const Finished last = Run({"hostkey", "rotate", "--quiet", "--store", "@extra.store", "--store", "@second.store"});
  EXPECT_EQ(last.status, 0) << last.error;
  const std::string status = Run({"hostkey", "status", "--store", "@extra.store", "--store", "@second.store"}).output;
  EXPECT_NE(status.find("extra.store: unattended, this key"), std::string::npos) << status;
  EXPECT_NE(status.find("second.store: unattended, this key"), std::string::npos) << status;
  ExpectStoresOpen();
}

// A store that no rotation is told about still opens with the kept key,
// moves to the new key with its next write, and only then may that key go;
// a store under a key gone from the ring says which key it needs.
TEST_P(HostKeyE2eTest, RotationKeepsTheOldKeyUntilRetired) {
  boost::filesystem::copy_file(dir.File("settings.store"), dir.File("other.store"));
  boost::filesystem::copy_file(dir.File("settings.store"), dir.File("stranded.store"));
  const std::string old_id = KeyId();
  ASSERT_EQ(Run({"hostkey", "rotate", "--quiet"}).status, 0);
  const auto list = [this] { return Run({"list", "--store", "@other.store", "--unattended"}); };
  const auto retire = [this, &old_id] {
    return Run({"hostkey", "retire", old_id, "--quiet", "--store", "@other.store"});
  };
  EXPECT_EQ(list().output, "a\nb\n");
  const Finished refused = retire();
  EXPECT_EQ(refused.status, 11);
  EXPECT_NE(refused.error.find("other.store is still sealed under the key " + old_id), std::string::npos) << refused.error;
  WriteFile(dir.File("c.value"), "3");
  ASSERT_EQ(Run({"set", "--store", "@other.store", "--key", "c", "--value-from", "@c.value", "--unattended", "--quiet"}).status, 0);
  EXPECT_NE(Run({"hostkey", "status", "--store", "@other.store"}).output.find("other.store: unattended, this key"), std::string::npos);
  EXPECT_EQ(retire().status, 0);
  EXPECT_EQ(list().output, "a\nb\nc\n");
  EXPECT_EQ(Run({"hostkey", "status", "--json"}).output.find(old_id), std::string::npos);
  EXPECT_EQ(retire().status, 1) << "a key retired twice";
  // A store nobody named, under the key retired: named as such, never a passphrase error.
  const Finished stranded = Run({"list", "--store", "@stranded.store", "--unattended"});
  EXPECT_EQ(stranded.status, 40);
  EXPECT_NE(stranded.error.find("sealed under the host key " + old_id + ", which this host does not hold"), std::string::npos) << stranded.error;
  EXPECT_EQ(Run({"hostkey", "retire", KeyId(), "--quiet"}).status, 5) << "the current key";
}

// The host key from hostkey status --json.
std::string HostKeyE2eTest::KeyId() {
  const std::string json = Run({"hostkey", "status", "--json"}).output;
  const std::string field = "\"key_id\":\"";
  const std::size_t at = json.find(field);
  return at == std::string::npos ? "" : json.substr(at + field.size(), 16);
}

// Each mistake is refused with its own cause on the console and its status,
// and changes nothing.
TEST_P(HostKeyE2eTest, EveryRefusalNamesItsCause) {
  const std::string key = dir.File("keys/host.key"), before = ReadFile(key);
  WriteFile(dir.File("broken.json"), "{\"sensitive_settings\": {\n  \"a\": \n}}\n");
  // Standard output holding "~text", or standard error holding "!text".
  struct Row { const char* what; std::vector<std::string> args; std::string input; int status; std::string words; std::string config = "keys"; };
  std::vector<Row> rows = {
      {"a configuration file that is not there", {"set", "--store", "@made/x.store", "--key", "a", "--value-from", "@in.json", "--unattended"}, "", 10, "!KELVOX_GLOBAL_CONFIG names '" + dir.File("none.config") + "', which does not exist", "none"},
      {"a key not stored", {"get", "--store", "@extra.store", "--key", "nope", "--unattended"}, "", 1, "!The key nope is not stored in " + dir.File("extra.store")},
      {"encrypt of a file that is not JSON (the cause in the log)", {"encrypt", "--configfile", "@broken.json", "--unattended"}, "", 7, "!Invalid file."},
      {"a new key that is not text", {"set", "--store", "@extra.store", "--key", "x\ty", "--value-from", "@in.json", "--unattended"}, "", 2, "!--key 'x\\x09y' is not UTF-8 text"},
      {"a key not stored, removed", {"remove", "--store", "@extra.store", "--key", "nope", "--unattended", "--quiet"}, "", 1, "!The key nope is not stored in"},
      {"rekey to the mode the store has", {"rekey", "--store", "@extra.store", "--to-unattended"}, "", 0, "~is already unattended (sealed with this host's key); nothing to do."},
      {"restore over a key without --force", {"hostkey", "restore", "--input", "@vector.bak"}, "vector passphrase\n", 11, "!exists; give --force"},
      {"restore through a planted link", {"hostkey", "restore", "--input", "@vector.bak", "--force", "--quiet"}, "vector passphrase\n", 40, "!is not trusted", "planted"},
  };
  if (GetParam() == "tpm2") {
    rows.push_back({"a TPM that does not answer", {"list", "--store", "@extra.store", "--unattended"}, "", 40, "!the TPM at swtpm:host=127.0.0.1,port=1 did not unseal it", "deaf"});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Finished run = Run(row.args, row.input, row.config);
    EXPECT_EQ(run.status, row.status) << run.error;
    const std::string& shown = row.words[0] == '~' ? run.output : run.error;
    EXPECT_NE(shown.find(row.words.substr(1)), std::string::npos) << shown;
    EXPECT_EQ(run.output.find("passphrase for"), std::string::npos) << "asked before refusing";
  }
  EXPECT_FALSE(boost::filesystem::exists(dir.File("made")));
  EXPECT_EQ(ReadFile(dir.File("victim")), "not a key");
  EXPECT_NE(ReadFile(dir.File("kelvox.log")).find("broken.json is not JSON: "), std::string::npos);
  EXPECT_EQ(ReadFile(key), before);
  ExpectStoresOpen();
}

// A store another user owns, run as nobody: permission denied, named.
TEST_P(HostKeyE2eTest, AStoreOfAnotherUserIsPermissionDenied) {
  if (GetParam() == "tpm2") GTEST_SKIP() << "no key is read";
  if (::geteuid() != 0 || !boost::filesystem::exists("/usr/bin/setpriv")) {
    GTEST_SKIP() << "needs root and setpriv to run as a second user";
  }
  testing_support::ScopedTempDir shared;
  boost::filesystem::permissions(shared.path(), boost::filesystem::perms(0755));
  boost::filesystem::create_directory(shared.File("root"));
  boost::filesystem::permissions(shared.File("root"), boost::filesystem::owner_all);
  boost::filesystem::copy_file(dir.File("extra.store"), shared.File("root/x.store"));
  WriteFile(shared.File("user.config"), "LOG_FILE=" + shared.File("user.log") + "\n");
  boost::filesystem::permissions(shared.File("user.config"), boost::filesystem::perms(0644));
  const Finished run = e2e::RunWithPipes(
      {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", KELVOX_PROGRAM, "list",
       "--store", shared.File("root/x.store"), "--unattended"},
      {{"KELVOX_GLOBAL_CONFIG", shared.File("user.config")}, {"HOME", shared.path().string()}});
  EXPECT_EQ(run.status, 10);
  EXPECT_NE(run.error.find("Permission denied: you may not read the store " + shared.File("root/x.store")), std::string::npos) << run.error;
  // An input of another user's, likewise.
  const Finished input = e2e::RunWithPipes(
      {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", KELVOX_PROGRAM, "set",
       "--store", shared.File("mine.store"), "--key", "k", "--value-from", shared.File("root/x.store"), "--unattended"},
      {{"KELVOX_GLOBAL_CONFIG", shared.File("user.config")}, {"HOME", shared.path().string()}});
  EXPECT_NE(input.error.find("cannot be read from " + shared.File("root/x.store") + ": permission denied"), std::string::npos) << input.error;
}

// Ctrl+C at any prompt of hostkey ends it with 130, the terminal given back
// and nothing written.
TEST_P(HostKeyE2eTest, CtrlCAtAPromptChangesNothing) {
  if (GetParam() == "tpm2") GTEST_SKIP() << "the prompts do not depend on the protection";
  const std::string key = dir.File("keys/host.key"), before = ReadFile(key);
  const struct { std::vector<std::string> args; const char* prompt; } prompts[] = {
      {{"hostkey", "backup", "--output", dir.File("bak")}, "Enter passphrase: "},
      {{"hostkey", "rotate"}, "Enter (y/N): "},
      {{"hostkey", "restore", "--input", dir.File("vector.bak"), "--force"}, "Enter (y/N): "},
  };
  for (const auto& [args, prompt] : prompts) {
    SCOPED_TRACE(args[1]);
    e2e::PtySession session(Args(args), Env());
    ASSERT_TRUE(session.WaitFor(prompt));
    session.Type("\x03");
    // A hidden field reads the key itself and exits 130; at a visible one
    // the terminal's SIGINT ends the run, which a shell reports as 130 too.
    const Finished run = session.Wait();
    EXPECT_TRUE(run.status == 130 || run.signal == SIGINT) << run.status << " " << run.signal;
    EXPECT_TRUE(session.EchoesAndEditsLines());
  }
  EXPECT_FALSE(boost::filesystem::exists(dir.File("bak")));
  EXPECT_EQ(ReadFile(key), before);
  EXPECT_TRUE(ListKeptKeys().empty());
}

// A writer that loaded the host key, then waited for its store's lock
// while the key was rotated and the old one retired, seals under the new
// key, not under the one that is gone.
TEST_P(HostKeyE2eTest, WriterWaitingThroughARotationSealsUnderTheNewKey) {
  if (GetParam() == "tpm2") GTEST_SKIP() << "the same code as with a key file";
  boost::filesystem::create_directory(dir.File("held"));
  WriteFile(dir.File("v"), "1");
  const int folder = ::open(dir.File("held/" + platform::LockFileName("new.store")).c_str(),
                            O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::flock(folder, LOCK_EX), 0);
  e2e::PtySession writer(
      Args({"set", "--store", "@held/new.store", "--key", "k", "--value-from", "@v", "--unattended", "--quiet"}),
      Env());
  ASSERT_TRUE(writer.WaitFor("waiting for"));  // it has loaded the key and waits
  const std::string old_id = KeyId();
  EXPECT_EQ(Run({"hostkey", "rotate", "--quiet"}).status, 0);
  EXPECT_EQ(Run({"hostkey", "retire", old_id, "--quiet"}).status, 0);
  ::close(folder);
  EXPECT_EQ(writer.Wait().status, 0);
  EXPECT_EQ(Run({"get", "--store", "@held/new.store", "--key", "k", "--unattended"}).output, "1\n");
}

// The host's age recipient comes from its key: the same wherever the key
// is restored, another after a rotation.
TEST_P(HostKeyE2eTest, TheRecipientFollowsTheHostKey) {
  const auto recipient = [this](const std::string& config) {
    return Run({"hostkey", "recipient"}, "", config).output;
  };
  const std::string first = recipient("keys");
  ASSERT_EQ(first.rfind("age1", 0), 0u) << first;
  ASSERT_EQ(Run({"hostkey", "backup", "--output", "@r.bak"}, kBackup + kBackup).status, 0);
  ASSERT_EQ(Run({"hostkey", "restore", "--input", "@r.bak"}, kBackup, "fresh").status, 0);
  EXPECT_EQ(recipient("fresh"), first);
  ASSERT_EQ(Run({"hostkey", "rotate", "--quiet"}).status, 0);
  const std::string rotated = recipient("keys");
  EXPECT_NE(rotated, first);
  EXPECT_EQ(rotated.rfind("age1", 0), 0u) << rotated;
}

// Writers, a remover, an editor and a rotation started together, round
// after round, on a configured store and one nobody names: every write
// that said it succeeded is there, every removal stays, every store opens.
TEST_P(HostKeyE2eTest, CommandsRunningAtOnceLoseNothing) {
  if (GetParam() == "tpm2") GTEST_SKIP() << "the same code as with a key file";
  constexpr int kRounds = 8;
  const std::string k = std::string(KELVOX_PROGRAM), s = dir.File("settings.store"), u = dir.File("unnamed.store");
  const std::string editor = dir.File("add.sh");
  WriteFile(editor, "#!/bin/sh\nsed -i \"s/\\\"sensitive_settings\\\": {/\\\"sensitive_settings\\\": {\\n\\\"e$ROUND\\\": \\\"v\\\",/\" \"$1\"\n");
  boost::filesystem::permissions(editor, boost::filesystem::owner_all);
  for (int round = 0; round < kRounds; ++round) {
    const std::string r = std::to_string(round), q = " --unattended --quiet";
    const std::string script =
        "cd " + dir.path().string() + " && export KELVOX_GLOBAL_CONFIG=" + dir.File("keys.config") + " ROUND=" + r + " EDITOR=" + editor + " VISUAL=\n"
        "(printf v | " + k + " set --store " + s + " --key s" + r + " --value-from -" + q + "; echo $? > st" + r + ") &\n"
        "(printf v | " + k + " set --store " + u + " --key u" + r + " --value-from -" + q + "; echo $? > su" + r + ") &\n"
        "(" + k + " remove --store " + s + " --key " + (round == 0 ? "a" : "s" + std::to_string(round - 1)) + q + "; echo $? > rm" + r + ") &\n"
        "(" + k + " edit --store " + s + q + " </dev/null; echo $? > ed" + r + ") &\n"
        "(" + k + " hostkey rotate --quiet >/dev/null; echo $? > ro" + r + ") &\n"
        "wait\n";
    ASSERT_EQ(std::system(script.c_str()), 0);
  }
  const auto code = [this](const std::string& name) { return ReadFile(dir.File(name)); };
  const auto get = [this](const std::string& store, const std::string& key) {
    return Run({"get", "--store", store, "--key", key, "--unattended"});
  };
  for (int round = 0; round < kRounds; ++round) {
    const std::string r = std::to_string(round);
    SCOPED_TRACE(r);
    if (code("su" + r) == "0\n") {
      EXPECT_EQ(get("@unnamed.store", "u" + r).output, "v\n");
    }
    if (code("ed" + r) == "0\n") {
      EXPECT_EQ(get("@settings.store", "e" + r).output, "v\n");
    }
    const std::string removed = round == 0 ? "a" : "s" + std::to_string(round - 1);
    if (code("rm" + r) == "0\n") {
      EXPECT_EQ(get("@settings.store", removed).status, 1) << removed;
    }
    // The last round's set has no later remove.
    if (round == kRounds - 1 && code("st" + r) == "0\n") {
      EXPECT_EQ(get("@settings.store", "s" + r).output, "v\n");
    }
    EXPECT_EQ(code("ro" + r), "0\n");
    EXPECT_EQ(code("su" + r) + code("st" + r) + code("ed" + r) + code("rm" + r), "0\n0\n0\n0\n");
  }
  EXPECT_EQ(Run({"verify", "--store", "@settings.store", "--unattended"}).status, 0);
  EXPECT_EQ(Run({"verify", "--store", "@unnamed.store", "--unattended"}).status, 0);
}

// On a terminal, an edit that cannot be read is not lost: the editor opens
// again on the same text, and its corrected form is written.
TEST_P(HostKeyE2eTest, EditOffersTheSameTextAgainAfterAMistake) {
  if (GetParam() == "tpm2") GTEST_SKIP() << "the prompts do not depend on the protection";
  const std::string broken = "{\"sensitive_settings\": {\"a\": \"1\", \"b\": }}";
  const std::string editor = Editor("twice.sh", "if [ ! -e " + dir.File("first") + " ]; then touch " + dir.File("first") +
                        "; printf '" + broken + "' > \"$1\"; else cp \"$1\" " + dir.File("second") +
                        "; printf '{\"sensitive_settings\": {\"a\": \"1\", \"b\": \"3\"}}' > \"$1\"; fi");
  e2e::PtySession session(Args({"edit", "--store", "@extra.store", "--unattended", "--quiet"}),
                          Env({{"EDITOR", editor}}));
  ASSERT_TRUE(session.WaitFor("Open the editor again on your text (y/N)?"));
  session.Type("y\r");
  EXPECT_EQ(session.Wait().status, 0);
  EXPECT_EQ(ReadFile(dir.File("second")), broken);
  EXPECT_EQ(Run({"get", "--store", "@extra.store", "--key", "b", "--unattended"}).output, "3\n");
}

// The writers' lock: no other user can hold it, and a writer waits for it
// only as long as configured, naming it.
TEST_P(HostKeyE2eTest, TheWritersLockIsTheOwnersAndItsWaitIsBounded) {
  if (GetParam() == "tpm2") GTEST_SKIP() << "the same code as with a key file";
  if (::geteuid() != 0 || !boost::filesystem::exists("/usr/bin/setpriv")) {
    GTEST_SKIP() << "needs root and setpriv to run as a second user";
  }
  const std::string lock = dir.File(platform::LockFileName("extra.store"));
  WriteFile(dir.File("v"), "1");
  const auto set = [this] {
    return Run({"set", "--store", "@extra.store", "--key", "c", "--value-from", "@v", "--unattended", "--quiet"}, "", "patient");
  };
  WriteFile(dir.File("patient.config"), ReadFile(dir.File("keys.config")) + "ENCRYPT_LOCK_WAIT_SECONDS=1\n");
  ASSERT_EQ(set().status, 0);  // the lock file exists from the first write on
  boost::filesystem::permissions(dir.path(), boost::filesystem::perms(0755));
  // Another user who can read the folder cannot open the lock to hold it.
  const Finished other = e2e::RunWithPipes({"/usr/bin/flock", "-n", lock, "true"}, {});
  const Finished as_nobody = e2e::RunWithPipes({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/flock", "-n", lock, "true"}, {});
  EXPECT_EQ(other.status, 0);
  EXPECT_NE(as_nobody.status, 0) << "another user held the writers' lock";
  // Held by a writer that never lets go: given up on after the wait, named.
  const int held = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const std::string before = ReadFile(dir.File("extra.store"));
  const Finished waited = set();
  ::close(held);
  EXPECT_EQ(waited.status, 11);
  EXPECT_NE(waited.error.find("gave up after 1 s waiting for " + lock), std::string::npos) << waited.error;
  EXPECT_EQ(ReadFile(dir.File("extra.store")), before);
}

// Changes of the host key never interleave: while one holds the ring's
// lock, another is refused with the lock named, and nothing changes.
TEST_P(HostKeyE2eTest, OneHostKeyChangeAtATime) {
  if (GetParam() == "tpm2") GTEST_SKIP() << "the same code as with a key file";
  const std::string old_id = KeyId();
  ASSERT_EQ(Run({"hostkey", "rotate", "--quiet"}).status, 0);
  const std::string key = dir.File("keys/host.key"), before = ReadFile(key);
  const int lock = ::open((key + ".lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"hostkey", "rotate", "--quiet"},
        {"hostkey", "seal", "--protection", "file"},
        {"hostkey", "retire", old_id, "--quiet"}}) {
    const Finished run = Run(args);
    EXPECT_EQ(run.status, 11) << args[1];
    EXPECT_NE(run.error.find(key + ".lock"), std::string::npos) << run.error;
  }
  EXPECT_EQ(ReadFile(key), before);
  ::close(lock);
  EXPECT_EQ(Run({"hostkey", "retire", old_id, "--quiet"}).status, 0);
}

// A kept key is vouched for only once it opens: a damaged one is named, and
// a store sealed under it fails as a host-key fault, not a wrong passphrase.
TEST_P(HostKeyE2eTest, ADamagedKeptKeyIsNamedAndItsStoresSaySo) {
  if (GetParam() == "tpm2") GTEST_SKIP() << "the same code as with a key file";
  ASSERT_EQ(Run({"hostkey", "rotate", "--quiet"}).status, 0);  // extra.store stays under the old key
  const std::vector<std::string> kept = ListKeptKeys();
  ASSERT_EQ(kept.size(), 1u);
  WriteFile(kept[0], std::string(32, 'k'));
  ::chmod(kept[0].c_str(), 0600);
  const Finished status = Run({"hostkey", "status", "--store", "@extra.store"});
  EXPECT_EQ(status.status, 40);
  EXPECT_NE(status.output.find("DAMAGED"), std::string::npos) << status.output;
  EXPECT_NE(status.output.find("which is damaged"), std::string::npos) << status.output;
  const Finished list = Run({"list", "--store", "@extra.store", "--unattended"});
  EXPECT_EQ(list.status, 40) << list.error;
  EXPECT_NE(list.error.find("damaged"), std::string::npos) << list.error;
}

INSTANTIATE_TEST_SUITE_P(Protections, HostKeyE2eTest, testing::Values("file", "tpm2"));

}  // namespace
