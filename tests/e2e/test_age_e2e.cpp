// import and export end to end, against the stock age program: files it
// encrypts to a host import as encrypt writes a plaintext file, a store
// exported here opens with it, and every damaged or foreign file is
// refused with the stores left as they were.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <cstdlib>
#include <functional>

#include "suite/age/AgeFormat.h"
#include "tests/e2e/Home.h"
#include "tests/support/TestSupport.h"

namespace {

using e2e::Finished;
using testing_support::ReadFile;
using testing_support::WriteFile;

const std::string kSettings = "{\"sensitive_settings\": {\"a\": \"1\", \"b\": \"two\"}}";
const std::string kCredentials =
    "{\"credentials\": [{\"target\": \"h\", \"user\": \"u\", \"password\": \"p w\"}]}";

class AgeE2eTest : public e2e::HomeTest<> {
 protected:
  void SetUp() override {
    if (std::system("age --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "age is not installed";
    WriteConfig({{"ENCRYPT_HOST_KEY_PATH", dir.File("keys/host.key")}});
    const Finished recipient = Run({"hostkey", "recipient"});
    ASSERT_EQ(recipient.status, 0) << recipient.error;
    host = recipient.output.substr(0, recipient.output.find('\n'));
    // Two identities of the administrator's own, made by stock age.
    for (const char* name : {"admin.key", "other.key"}) {
      Shell("age-keygen -o " + dir.File(name) + " 2>/dev/null");
    }
    admin = Shell("age-keygen -y " + dir.File("admin.key"));
    admin.pop_back();
  }

  // Runs a shell line in the test's folder and returns its standard output.
  std::string Shell(const std::string& line) const {
    const std::string out = dir.File("shell.out");
    EXPECT_EQ(std::system(("cd " + dir.path().string() + " && " + line + " >" + out).c_str()), 0)
        << line;
    return ReadFile(out);
  }
  // Encrypts `plaintext` with stock age to `recipients` ("-r R" each) into `name`.
  void AgeEncrypt(const std::string& plaintext, const std::string& flags, const std::string& name) {
    WriteFile(dir.File("plain"), plaintext);
    Shell("age -e " + flags + " -o " + name + " plain && rm plain");
  }
  std::string Get(const std::string& type, const std::string& key) const {
    return Run({"get", "--type", type, "--key", key, "--unattended"}).output;
  }
  std::string Stores() const {
    std::string both;
    for (const char* store : {"settings.store", "credentials.store"}) {
      if (boost::filesystem::exists(dir.File(store))) both += ReadFile(dir.File(store));
      both += '|';
    }
    return both;
  }

  std::string host;   // this host's recipient
  std::string admin;  // the recipient of admin.key
};

// Files stock age wrote, in every form it writes them, import as encrypt
// would import their plaintext; a second file updates with its counts.
TEST_F(AgeE2eTest, FilesFromAgeImportAsEncryptWouldWriteThem) {
  const std::string to_host = "-r " + host;
  const struct Row {
    const char* what;
    std::string plaintext;
    std::string flags;
    std::vector<std::string> args;
    bool from_standard_input;
    std::string type, key, value;
  } rows[] = {
      {"binary, one recipient", kSettings, to_host, {}, false, "settings", "b", "two"},
      {"armored, several recipients", kCredentials, "-a -r " + admin + " " + to_host, {}, false,
       "credentials", "h/password", "p w"},
      {"standard input", "{\"sensitive_settings\": {\"c\": \"3\"}}", to_host, {"--quiet"}, true,
       "settings", "c", "3"},
      {"to the administrator's identity only", "{\"sensitive_settings\": {\"d\": \"4\"}}",
       "-a -r " + admin, {"--identity", "@admin.key", "--quiet"}, false, "settings", "d", "4"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    AgeEncrypt(row.plaintext, row.flags, "in.age");
    std::vector<std::string> args = {"import", "--input",
                                     row.from_standard_input ? "-" : "@in.age", "--unattended"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const Finished run = Run(args, row.from_standard_input ? ReadFile(dir.File("in.age")) : "");
    EXPECT_EQ(run.status, 0) << run.output << run.error;
    EXPECT_NE(run.output.find("Succeed in encrypting"), std::string::npos) << run.output;
    EXPECT_EQ(Get(row.type, row.key), row.value + "\n");
  }
  AgeEncrypt("{\"sensitive_settings\": {\"a\": \"1\", \"b\": \"2\", \"e\": \"5\"}}", to_host,
             "update.age");
  // Unlike encrypt's, import's question takes a bare Enter for no.
  const std::string b = Get("settings", "b");
  EXPECT_EQ(Run({"import", "--input", "@update.age", "--unattended"}, "\n").status, 47);
  EXPECT_EQ(Get("settings", "b"), b);
  const Finished update = Run({"import", "--input", "@update.age", "--unattended"}, "y\n");
  EXPECT_EQ(update.status, 0) << update.error;
  EXPECT_NE(update.output.find("add: 1, update: 1"), std::string::npos) << update.output;
  EXPECT_EQ(Get("settings", "b"), "2\n");
  EXPECT_EQ(Get("settings", "c"), "3\n");  // merged, as encrypt merges
}

// What export writes, stock age opens to exactly what decrypt prints.
TEST_F(AgeE2eTest, ExportOpensWithAgeToWhatDecryptPrints) {
  AgeEncrypt(kCredentials, "-r " + host, "c.age");
  ASSERT_EQ(Run({"import", "--input", "@c.age", "--unattended"}).status, 0);
  const std::string plaintext =
      Run({"decrypt", "--type", "credentials", "--unattended", "--output", "-"}).output;
  WriteFile(dir.File("recipients"), "# the administrator\n" + admin + "\n\n" + host + "\n");
  const struct Row {
    const char* what;
    std::vector<std::string> args;
  } rows[] = {
      {"binary, to standard output", {"--recipient", admin, "--output", "-"}},
      {"armored, two recipients", {"--recipient", host, "--recipient", admin, "--armor",
                                   "--output", "@out.age"}},
      {"a recipients file", {"--recipients-file", "@recipients", "--output", "@out.age", "--force"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<std::string> args = {"export", "--type", "credentials", "--unattended"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const Finished run = Run(args);
    ASSERT_EQ(run.status, 0) << run.error;
    const bool to_standard_output = row.args.back() == "-";
    if (to_standard_output) WriteFile(dir.File("stdout.age"), run.output);
    const std::string file = to_standard_output ? "stdout.age" : "out.age";
    EXPECT_EQ(Shell("age -d -i admin.key " + file), plaintext);
    if (!to_standard_output) {
      EXPECT_EQ(boost::filesystem::status(dir.File(file)).permissions() & 077, 0);
    }
  }
  // The exported file comes back in through import, unchanged.
  const Finished back = Run({"import", "--input", "@out.age", "--unattended"}, "y\n");
  EXPECT_EQ(back.status, 0);
  EXPECT_NE(back.output.find("add: 0, update: 0"), std::string::npos) << back.output;
  // decrypt's output rules: an existing file, the store itself, a bad recipient.
  for (const std::vector<std::string>& refused :
       {std::vector<std::string>{"--recipient", admin, "--output", "@out.age"},
        {"--recipient", admin, "--output", "@credentials.store", "--force"},
        {"--recipient", "age1notarecipient", "--output", "@new.age"}}) {
    std::vector<std::string> args = {"export", "--type", "credentials", "--unattended"};
    args.insert(args.end(), refused.begin(), refused.end());
    EXPECT_NE(Run(args).status, 0) << refused[1];
  }
  EXPECT_FALSE(boost::filesystem::exists(dir.File("new.age")));
  EXPECT_EQ(Run({"decrypt", "--type", "credentials", "--unattended"}).output, plaintext);
}

// Every damaged, foreign or unreadable file is refused with its reason and
// one status, and no store changes; a file whose plaintext is not records
// gets encrypt's status for that.
TEST_F(AgeE2eTest, RefusedFilesLeaveTheStoresAlone) {
  AgeEncrypt(kSettings, "-r " + host, "first.age");
  ASSERT_EQ(Run({"import", "--input", "@first.age", "--unattended"}).status, 0);
  // Two chunks, the second short; and one full chunk, the final one.
  const std::size_t kChunk = 65536;
  AgeEncrypt(std::string(70000, ' ') + kSettings, "-r " + host, "good.age");
  AgeEncrypt(std::string(kChunk - kSettings.size(), ' ') + kSettings, "-r " + host, "full.age");
  const std::size_t final_chunk = 70000 + kSettings.size() - kChunk + 16;
  AgeEncrypt(kSettings, "-a -r " + host, "armored.age");
  AgeEncrypt(kSettings, "-r " + admin, "foreign.age");
  AgeEncrypt("[1, 2]", "-r " + host, "not-records.age");
  using Damage = std::function<void(std::string&)>;
  const auto replace = [](std::string from, std::string to) -> Damage {
    return [=](std::string& file) { file.replace(file.find(from), from.size(), to); };
  };
  const std::string zero_share(43, 'A');
  const struct Row {
    const char* what;
    const char* file;
    Damage damage;
    age::AgeStatus reason;
    int status = 9;
  } rows[] = {
      {"not age", "good.age", [](std::string& f) { f = "hello\n"; }, age::AgeStatus::kNotAgeFile},
      {"another version", "good.age", replace("org/v1\n", "org/v2\n"),
       age::AgeStatus::kUnsupportedVersion},
      {"a stanza with a third argument", "good.age", replace("-> X25519 ", "-> X25519 x "),
       age::AgeStatus::kMalformedStanza},
      {"armor cut short", "armored.age", replace("-----END", "-----STOP"), age::AgeStatus::kBadArmor},
      // Another base64 letter in the MAC's second place (all six bits of
      // it count): a flipped bit could make it no letter at all.
      {"MAC changed", "good.age",
       [](std::string& f) {
         char& letter = f[f.find("--- ") + 5];
         letter = letter == 'A' ? 'B' : 'A';
       },
       age::AgeStatus::kHeaderMacMismatch},
      {"not to this host", "foreign.age", [](std::string&) {}, age::AgeStatus::kNoMatchingIdentity},
      {"a zero share", "good.age",
       [&](std::string& f) { f.replace(f.find("-> X25519 ") + 10, 43, zero_share); },
       age::AgeStatus::kLowOrderShare},
      {"a tag flipped", "good.age", [](std::string& f) { f.back() ^= 1; }, age::AgeStatus::kBadChunk},
      {"the final chunk cut", "good.age", [&](std::string& f) { f.resize(f.size() - final_chunk); },
       age::AgeStatus::kTruncated},
      {"data appended", "full.age", [](std::string& f) { f += "x"; }, age::AgeStatus::kTrailingData},
      {"not records", "not-records.age", [](std::string&) {}, age::AgeStatus::kOk, 7},
  };
  const std::string before = Stores();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::string file = ReadFile(dir.File(row.file));
    row.damage(file);
    WriteFile(dir.File("damaged.age"), file);
    const Finished run = Run({"import", "--input", "@damaged.age", "--unattended", "--quiet"});
    EXPECT_EQ(run.status, row.status) << run.output << run.error;
    if (row.reason != age::AgeStatus::kOk && row.reason != age::AgeStatus::kNoMatchingIdentity) {
      EXPECT_NE(run.error.find(age::DescribeStatus(row.reason)), std::string::npos) << run.error;
    }
    EXPECT_EQ(Stores(), before);
  }
  // The administrator's file opens with the administrator's identity only,
  // which must be a file of the user's own, readable by no one else.
  boost::filesystem::permissions(dir.File("admin.key"), boost::filesystem::owner_read |
                                                            boost::filesystem::group_read);
  EXPECT_EQ(Run({"import", "--input", "@foreign.age", "--identity", "@admin.key", "--unattended",
                 "--quiet"}).status,
            10);
  // Standard input cannot carry the file and answer a question too.
  EXPECT_EQ(Run({"import", "--input", "-", "--unattended"}).status, 2);
  EXPECT_EQ(Stores(), before);
}

// A file whose credentials do not parse is refused whole, naming the entry,
// and the setting names its sender chose reach the log escaped, each on the
// one line it belongs to.
TEST_F(AgeE2eTest, AHalfReadableFileIsRefusedAndItsNamesAreLoggedEscaped) {
  AgeEncrypt("{\"sensitive_settings\": {\"a\\nERROR forged\": \"1\"}, \"credentials\": [{\"target\": "
             "\"h\", \"user\": \"u\", \"password\": \"p\"}, {\"target\": \"h2\"}]}",
             "-r " + host, "half.age");
  const Finished run = Run({"import", "--input", "@half.age", "--unattended", "--quiet"});
  EXPECT_EQ(run.status, 10);
  EXPECT_NE(run.error.find("Entry 2 of the \"credentials\" list in"), std::string::npos) << run.error;
  EXPECT_EQ(Stores(), "||");
  const std::string log = ReadFile(dir.File("kelvox.log"));
  EXPECT_NE(log.find("Parse setting name: a\\x0aERROR forged\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("\nERROR forged"), std::string::npos);
}

// A file encrypted to the recipient of a key that a rotation replaced
// still imports while the ring keeps that key.
TEST_F(AgeE2eTest, FilesToARotatedOutKeyStillImport) {
  AgeEncrypt(kSettings, "-r " + host, "old.age");
  ASSERT_EQ(Run({"hostkey", "rotate", "--quiet"}).status, 0);
  EXPECT_NE(Run({"hostkey", "recipient"}).output, host + "\n");
  const Finished run = Run({"import", "--input", "@old.age", "--unattended", "--quiet"});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(Get("settings", "b"), "two\n");
}

// OpenSSH keys made by ssh-keygen, with stock age as the oracle both ways:
// what age encrypts to a host's ssh key imports with that key (named, or
// found through SSH_HOST_KEY_PATH), and what export encrypts to it, alone
// or beside an age recipient, age opens with it; each bad key is refused
// with its reason.
TEST_F(AgeE2eTest, SshKeysGoBothWaysWithStockAge) {
  Shell("ssh-keygen -q -t ed25519 -N '' -C '' -f ssh && ssh-keygen -q -t ed25519 -N '' -f other"
        " && ssh-keygen -q -t ed25519 -N pass -f locked && ssh-keygen -q -t rsa -N '' -f rsa");
  const std::string ssh = ReadFile(dir.File("ssh.pub"));
  AgeEncrypt(kSettings, "-R ssh.pub", "in.age");
  AgeEncrypt(kSettings, "-R other.pub", "other.age");
  ASSERT_EQ(Run({"import", "--input", "@in.age", "--identity", "@ssh", "--unattended"}).status, 0);
  EXPECT_EQ(Get("settings", "b"), "two\n");
  WriteConfig({{"ENCRYPT_HOST_KEY_PATH", dir.File("keys/host.key")}, {"SSH_HOST_KEY_PATH", dir.File("ssh")}});
  EXPECT_EQ(Run({"import", "--input", "@in.age", "--unattended", "--quiet"}).status, 0);
  const std::string plaintext = Run({"decrypt", "--type", "settings", "--unattended"}).output;
  WriteFile(dir.File("mixed"), admin + "\n" + ssh);
  for (const std::vector<std::string>& to :
       {std::vector<std::string>{"--recipient", ssh.substr(0, ssh.size() - 1)},
        {"--recipients-file", "@mixed"}}) {
    ASSERT_EQ(Run({"export", "--type", "settings", "--unattended", to[0], to[1], "--output",
                   "@out.age", "--force"}).status, 0);
    EXPECT_EQ(Shell("age -d -i ssh out.age"), plaintext);
    if (to[0] == "--recipients-file") {
      EXPECT_EQ(Shell("age -d -i admin.key out.age"), plaintext);
    }
  }
  // The container (234 bytes with no comment) with its check numbers
  // (bytes 98 to 105) made to differ, cut inside its private section,
  // claiming two keys (byte 38), or with its last padding byte wrong.
  const auto damage = [&](const std::string& name, const std::string& edit) {
    Shell("sed '1d;$d' ssh | base64 -d >raw && " + edit + " && { echo '-----BEGIN OPENSSH " +
          "PRIVATE KEY-----'; base64 raw; echo '-----END OPENSSH PRIVATE KEY-----'; } >" + name +
          " && chmod 600 " + name);
  };
  damage("checks", "printf AAAABBBB | dd of=raw bs=1 seek=98 conv=notrunc 2>/dev/null");
  damage("cut", "truncate -s 200 raw");
  damage("two", "printf '\\2' | dd of=raw bs=1 seek=38 conv=notrunc 2>/dev/null");
  damage("padding", "printf '\\11' | dd of=raw bs=1 seek=233 conv=notrunc 2>/dev/null");
  const struct Row {
    std::vector<std::string> args;
    int status;
    std::string reason;
  } rows[] = {
      {{"export", "--type", "settings", "--recipient", ReadFile(dir.File("rsa.pub")), "--output",
        "-"}, 2, DescribeStatus(age::AgeStatus::kSshRsaUnsupported)},
      {{"import", "--input", "@in.age", "--identity", "@locked"}, 10,
       DescribeStatus(age::AgeStatus::kSshKeyEncrypted)},
      {{"import", "--input", "@in.age", "--identity", "@checks"}, 10,
       DescribeStatus(age::AgeStatus::kSshKeyCheckMismatch)},
      {{"import", "--input", "@in.age", "--identity", "@cut"}, 10,
       DescribeStatus(age::AgeStatus::kSshKeyTruncated)},
      {{"import", "--input", "@in.age", "--identity", "@two"}, 10,
       DescribeStatus(age::AgeStatus::kSshKeySeveral)},
      {{"import", "--input", "@in.age", "--identity", "@padding"}, 10,
       DescribeStatus(age::AgeStatus::kSshKeyBadPadding)},
      {{"import", "--input", "@other.age"}, 9, "tried the age identity of the host key " +
       dir.File("keys/host.key") + ", the ssh host key " + dir.File("ssh") + "."},
  };
  const std::string before = Stores();
  for (const Row& row : rows) {
    std::vector<std::string> args = row.args;
    args.push_back("--unattended");
    if (args[0] == "import") args.push_back("--quiet");
    const Finished run = Run(args);
    EXPECT_EQ(run.status, row.status) << row.reason;
    EXPECT_NE(run.error.find(row.reason), std::string::npos) << run.error;
  }
  EXPECT_EQ(Stores(), before);
}

}  // namespace
