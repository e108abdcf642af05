// The store commands decrypt, list, verify, remove and rekey end to end:
// the real program, plug-ins and store, run with pipes as automation runs
// them (an attended passphrase is read from standard input). One scenario
// table: each row runs one command on the stores the rows before it left.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include <boost/filesystem.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "tests/e2e/Home.h"
#include "tests/support/TestSupport.h"

namespace {

using e2e::Finished;
using testing_support::ReadFile;
using testing_support::WriteFile;

const std::string kKelvox = KELVOX_PROGRAM;
const std::string kOld = "old passphrase 1";
const std::string kNew = "new passphrase 2";

// Non-ASCII text, and every kind of byte JSON must escape.
const char kSettings[] =
    "{\"sensitive_settings\": {\"db\": \"h\\u00e9llo w\xc3\xb6rld \xe2\x9c\x93\","
    " \"quote\": \"a\\\"b\\\\c\\/d\", \"ctl\": \"t\\tn\\nbel\\u0007\", \"empty\": \"\"}}\n";
const char kCredentials[] =
    "{\"credentials\": [{\"target\": \"bmc-\xc3\xbc.example\", \"user\": \"admin\","
    " \"password\": \"p\\\"w\"}, {\"target\": \"10.0.0.1\", \"user\": \"\", \"password\": "
    "\"x\"}]}\n";

class AdminE2eTest : public e2e::HomeTest<> {
 protected:
  AdminE2eTest() {
    WriteFile(dir.File("settings.json"), kSettings);
    WriteFile(dir.File("credentials.json"), kCredentials);
  }

  std::string Settings() const { return dir.File("settings.store"); }
  e2e::Environment Editing(const std::string& editor) const { return {{"EDITOR", editor}}; }
};

TEST_F(AdminE2eTest, EveryCommandOnSoundAndDamagedStores) {
  ASSERT_EQ(Run({"encrypt", "--configfile", "@settings.json"}, kOld + "\n" + kOld + "\n").status, 0);
  ASSERT_EQ(Run({"encrypt", "--configfile", "@credentials.json", "--unattended"}).status, 0);
  const std::string line = "please enter the passphrase for \"" + Settings() + "\".\n";
  const std::string old = kOld + "\n", creds = dir.File("credentials.store");
  // Standard output exactly; "~text" holding text; "*" unchecked.
  const struct Row { const char* what; std::vector<std::string> args; std::string input; int status; std::string output; } rows[] = {
      {"refused: --type and --store", {"list", "--type", "settings", "--store", "@settings.store"}, "", 2, ""},
      {"refused: neither", {"verify"}, "", 2, ""},
      {"refused: unknown type", {"list", "--type", "setting"}, "", 2, ""},
      {"refused: empty --output", {"decrypt", "--type", "settings", "--output", ""}, "", 2, ""},
      {"refused: --force alone", {"decrypt", "--type", "settings", "--force"}, "", 2, ""},
      {"refused: no --key", {"remove", "--type", "settings"}, "", 2, ""},
      {"refused: both targets", {"rekey", "--type", "settings", "--to-attended", "--to-unattended"}, "", 2, ""},
      {"refused: converting with --unattended", {"rekey", "--type", "settings", "--to-unattended", "--unattended"}, "", 2, ""},
      {"list: keys alone on stdout", {"list", "--type", "settings"}, old, 0, "ctl\ndb\nempty\nquote\n"},
      {"a --store that is not credentials gives settings", {"decrypt", "--store", "@settings.store"}, old, 0, "~\"sensitive_settings\": {"},
      {"verify sound", {"verify", "--store", "@settings.store"}, old, 0,
       Settings() + ": sound, attended, 4 records, Argon2id opslimit 1, memlimit 8192\n"},
      {"verify --json on failure", {"verify", "--type", "settings", "--json"}, "wrong passphrase\n", 46,
       "~\", \"sound\": false, \"code\": 46, \"fault\": \"Passphrase error.\"}\n"},
      {"round trip: settings to stdout", {"decrypt", "--type", "settings", "--output", "-"}, old, 0, "*"},
      {"round trip: settings back", {"encrypt", "--configfile", "@settings.out", "--quiet"}, old, 0, "~\nadd: 0, update: 0\n"},
      {"round trip: credentials to a file", {"decrypt", "--type", "credentials", "--unattended", "--output", "@credentials.out"}, "", 0,
       "Succeed in decrypting the file " + creds + " into " + dir.File("credentials.out") + ".\n"},
      {"round trip: credentials back", {"encrypt", "--configfile", "@credentials.out", "--quiet", "--unattended"}, "", 0, "~add: 0, update: 0\n"},
      {"an existing output is refused before the prompt", {"decrypt", "--type", "settings", "--output", "@settings.json"}, "", 11, ""},
      {"--force replaces it", {"decrypt", "--type", "credentials", "--unattended", "--output", "@settings.json", "--force"}, "", 0, "*"},
      {"rekey", {"rekey", "--type", "settings"}, old + kNew + "\n" + kNew + "\n", 0, "*"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string before = ReadFile(Settings());
    const Finished run = Run(row.args, row.input);
    EXPECT_EQ(run.status, row.status) << run.error;
    if (row.output.rfind("~", 0) == 0) {
      EXPECT_NE(run.output.find(row.output.substr(1)), std::string::npos);
    } else if (row.output != "*") {
      EXPECT_EQ(run.output, row.output);
    }
    EXPECT_TRUE(row.status == 0 || ReadFile(Settings()) == before);
    // Values reach only the data of decrypt; prompts never reach stdout of a data command.
    EXPECT_TRUE(row.args[0] == "decrypt" || (run.output + run.error).find("w\xc3\xb6rld") == std::string::npos);
    if (row.args[0] == "decrypt" && row.status == 0 && row.args.back() == "-") {
      WriteFile(dir.File("settings.out"), run.output);
      EXPECT_EQ(run.error, line + "  Enter passphrase: \n");
    }
  }
  EXPECT_EQ(ReadFile(dir.File("settings.json")), ReadFile(dir.File("credentials.out")));
  // Owner-only on Windows is an access list, which no tool under Wine reads back.
  for (const char* output : {"credentials.out", "settings.json"}) {
    if (!e2e::kPosixOnly.empty()) break;
    struct stat status {};
    ASSERT_EQ(::stat(dir.File(output).c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777u, 0600u) << output;
  }
  EXPECT_EQ(ReadFile(dir.File("kelvox.log")).find(kNew), std::string::npos);
}

// `make demo` names no host key: it goes to the user's state folder, or
// for root to the system's own where the package made it, which a test
// only looks at.
TEST_F(AdminE2eTest, HostKeyDefaultsToTheUsersStateFolder) {
  if (!e2e::kPosixOnly.empty()) GTEST_SKIP() << "Windows' default is under %LOCALAPPDATA%";
  WriteFile(config, "ENCRYPT_SETTING_PATH=" + Settings() + "\n");
  const e2e::Environment env = {{"HOME", dir.path().string()}, {"XDG_STATE_HOME", ""}};
  const bool system = e2e::RunsAsRoot() && boost::filesystem::is_directory("/var/lib/kelvox");
  const std::string key =
      system ? "/var/lib/kelvox/host.key" : dir.File(".local/state/kelvox/host.key");
  const Finished status = Run({"hostkey", "status"}, "", env);
  EXPECT_NE(status.output.find("host key: " + key + "\n"), std::string::npos) << status.output;
  if (system) return;
  const Finished run = Run({"encrypt", "--configfile", "@settings.json", "--unattended"}, "", env);
  EXPECT_EQ(run.status, 0) << run.error;
  EXPECT_EQ(ReadFile(key).size(), 32u);
}

TEST_F(AdminE2eTest, ScriptsGetSetAndEditOneValueAtATime) {
  if (!e2e::kPosixOnly.empty()) GTEST_SKIP() << "the editors are shell scripts, and edit refuses on Windows";
  WriteFile(dir.File("pass"), kOld + "\nignored\n");
  boost::filesystem::permissions(dir.File("pass"), boost::filesystem::owner_read | boost::filesystem::owner_write);
  WriteFile(dir.File("large"), std::string((16u << 20) + 1, 'x'));
  boost::filesystem::create_directory(dir.File("folder"));
  const std::string whole = Editor("whole.sh", "printf '{\"sensitive_settings\": {\"db\": \"3\", \"added\": \"x\"}}' > \"$1\"");
  const std::string broken = Editor("broken.sh", "printf '{\\n \"sensitive_settings\": {\\n  \"a\": \\n}}' > \"$1\"");
  const std::string failing = Editor("failing.sh", "exit 3");
  const std::vector<std::string> settings = {"--type", "settings", "--passphrase-file", "@pass"};
  const auto on = [&settings](std::vector<std::string> args) {
    args.insert(args.begin() + 1, settings.begin(), settings.end());
    return args;
  };
  const std::vector<std::string> creds = {"--type", "credentials", "--unattended"};
  const auto on_creds = [&creds](std::vector<std::string> args) {
    args.insert(args.begin() + 1, creds.begin(), creds.end());
    return args;
  };
  // Standard output exactly; "~text" holding text; "!text" stderr holding text.
  const struct Row { const char* what; std::vector<std::string> args; std::string input, editor; int status; std::string output; } rows[] = {
      {"set makes the store", on({"set", "--key", "db", "--value-from", "-"}), "v1\n", "", 0, "~add: 1, update: 0\n"},
      {"no terminal, no input: no passphrase", {"get", "--type", "settings", "--key", "db"}, "", "", 37, "!No passphrase was given"},
      {"get without newline", on({"get", "--key", "db", "--no-newline"}), "", "", 0, "v1"},
      {"a key not stored", on({"get", "--key", "nope"}), "", "", 1, "!The key nope is not stored in " + Settings()},
      {"--value-from empty", on({"set", "--key", "db", "--value-from", ""}), "", "", 2, "!--value-from needs FILE"},
      {"--value-from a file not there", on({"set", "--key", "db", "--value-from", "@absent"}), "", "", 10, "!: it does not exist"},
      {"--value-from a folder", on({"set", "--key", "db", "--value-from", "@folder"}), "", "", 10, "!not a regular file of at most 16 MiB"},
      {"--value-from over 16 MiB", on({"set", "--key", "db", "--value-from", "@large"}), "", "", 10, "!not a regular file of at most 16 MiB"},
      {"edit", on({"edit", "--quiet"}), "", whole, 0, "~add: 1, update: 1, remove: 0\n"},
      {"edited", on({"list"}), "", "", 0, "added\ndb\n"},
      {"edit unchanged", on({"edit"}), "", "true", 0, "~No change"},
      {"edit unreadable", on({"edit", "--quiet"}), "", broken, 7, "!line 4"},
      {"editor failed", on({"edit", "--quiet"}), "", failing, 47, "!status 3"},
      {"a new target whole", on_creds({"set", "--target", "bmc1", "--user", "admin", "--value-from", "-"}), "pw\n", "", 0, "~add: 2, update: 0\n"},
      {"half a new pair", on_creds({"set", "--key", "bmc2/password", "--value-from", "-", "--quiet"}), "x", "", 2, "!half a credential pair"},
      {"remove one half", on_creds({"remove", "--key", "bmc1/user", "--quiet"}), "", "", 2, "!half a credential pair"},
      {"remove the target", on_creds({"remove", "--target", "bmc1", "--quiet"}), "", "", 0, "~remove: 2\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string before = boost::filesystem::exists(Settings()) ? ReadFile(Settings()) : "";
    const Finished run = Run(row.args, row.input, Editing(row.editor));
    EXPECT_EQ(run.status, row.status) << run.error;
    if (row.output[0] == '~') {
      EXPECT_NE(run.output.find(row.output.substr(1)), std::string::npos) << run.output;
    } else if (row.output[0] == '!') {
      EXPECT_NE(run.error.find(row.output.substr(1)), std::string::npos) << run.error;
    } else if (row.output != "*") {
      EXPECT_EQ(run.output, row.output);
    }
    EXPECT_TRUE(row.status == 0 || ReadFile(Settings()) == before);
  }
  // The private file and its folder are gone, and were never beside the store.
  const std::string edited = ReadFile(dir.File("edited-path"));
  EXPECT_FALSE(boost::filesystem::exists(boost::filesystem::path(edited.substr(0, edited.size() - 1)).parent_path()));
  EXPECT_EQ(edited.find(dir.path().string()), std::string::npos);

  boost::property_tree::ptree keys, facts;
  std::istringstream listed(Run(on({"list", "--json"})).output), verified(Run(on({"verify", "--json"})).output);
  boost::property_tree::read_json(listed, keys);
  boost::property_tree::read_json(verified, facts);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys.front().second.data() + keys.back().second.data(), "addeddb");
  EXPECT_EQ(facts.get<std::string>("path") + facts.get<std::string>("mode"), Settings() + "attended");
  EXPECT_EQ(facts.get<int>("records") + facts.get<int>("kdf.opslimit"), 3);
}

// What is typed at set's prompts, on a terminal or through a pipe, is stored
// byte for byte or refused whole; a passphrase being chosen that the
// passphrase prompt would read otherwise is refused, never changed.
TEST_F(AdminE2eTest, TypedValuesAreStoredWholeAndUnreadablePassphrasesRefused) {
  // The passphrase file is made owner-only by its mode bits, which Windows
  // access lists do not follow.
  if (!e2e::kPosixOnly.empty()) GTEST_SKIP() << e2e::kPosixOnly;
  WriteFile(dir.File("pass"), kOld + "\n");
  boost::filesystem::permissions(dir.File("pass"), boost::filesystem::owner_read | boost::filesystem::owner_write);
  const std::string utf8 = "S\xc3\xa9" "curit\xc3\xa9\t2024!", long_value(300, 'v'), p256(256, 'p');
  const std::vector<std::string> value = {"set", "--store", "@v.store", "--passphrase-file", "@pass", "--key", "k", "--quiet"};
  const std::vector<std::string> fresh = {"set", "--store", "@new.store", "--key", "k"};
  const std::string rule = "at most 256 characters, each an ASCII letter";
  // One line per prompt asked; `stored` is what get gives back after a success.
  const struct Row { const char* what; bool terminal; std::vector<std::string> args, lines; int status; std::string stored, message; } rows[] = {
      {"UTF-8 and a tab, piped", false, value, {utf8, utf8}, 0, utf8, ""},
      {"UTF-8 and a tab, typed", true, value, {"x" + utf8, "x" + utf8}, 0, "x" + utf8, ""},
      {"300 characters, typed", true, value, {long_value, long_value}, 0, long_value, ""},
      {"a confirmation of the same length that differs", false, value, {"same length 1", "same length 2"}, 47, "", "differ"},
      {"over the limit, refused whole", false, value, {std::string(65537, 'o')}, 10, "", "longer than 65536 bytes"},
      {"a confirmation over the limit", false, value, {std::string(65536, 'o'), std::string(65537, 'o')}, 10, "", "longer than 65536 bytes"},
      {"a new passphrase the prompt cannot read", false, fresh, {"p\xc3\xa4ssw\xc3\xb6rt-\xe2\x82\xac-123"}, 46, "", rule},
      {"a tab in a new passphrase, typed", true, fresh, {"tab\tinside"}, 46, "", rule},
      {"a new passphrase over 256 characters", false, fresh, {p256 + "p"}, 46, "", rule},
      {"a new passphrase whose confirmation differs", false, fresh, {"new pass 12", "new pass 13"}, 46, "", "passphrase differ"},
      {"256 characters are a passphrase", false, fresh, {p256, p256, "v", "v"}, 0, "v", ""},
      {"rekey to a passphrase whose confirmation differs", false, {"rekey", "--store", "@new.store"}, {p256, "new pass 12", "new pass 13"}, 46, "", "passphrase differ"},
      {"rekey to a passphrase with a tab", false, {"rekey", "--store", "@new.store"}, {p256, "tab\tinside"}, 46, "", rule},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string store = dir.File(row.args[2].substr(1));
    const std::string before = boost::filesystem::exists(store) ? ReadFile(store) : "absent";
    Finished run;
    if (row.terminal && e2e::kPosixOnly.empty()) {
      e2e::PtySession session(Args(row.args), Env());
      for (const std::string& line : row.lines) {
        ASSERT_TRUE(session.WaitFor("  Enter ") && session.WaitFor(": "));
        session.Type(line + "\r");
      }
      run = session.Wait();
    } else {
      std::string input;
      for (const std::string& line : row.lines) input += line + "\n";
      run = Run(row.args, input);
    }
    EXPECT_EQ(run.status, row.status) << run.output << run.error;
    EXPECT_NE((run.output + run.error).find(row.message), std::string::npos) << run.output << run.error;
    for (const std::string& line : row.lines) {
      EXPECT_TRUE(line.size() < 2 || (run.output + run.error).find(line) == std::string::npos) << "echoed";
    }
    if (row.status != 0) {
      EXPECT_EQ(boost::filesystem::exists(store) ? ReadFile(store) : "absent", before);
    } else {
      // Opened as every store is, the passphrase read by encrypt's rule.
      std::vector<std::string> get = {"get", "--store", row.args[2], "--key", "k", "--no-newline"};
      const bool from_file = row.args[3] == "--passphrase-file";
      if (from_file) get.insert(get.end(), {"--passphrase-file", "@pass"});
      EXPECT_EQ(Run(get, from_file ? "" : row.lines[0] + "\n").output, row.stored);
    }
  }
  EXPECT_EQ(ReadFile(dir.File("kelvox.log")).find("curit"), std::string::npos);
}

// A passphrase file is the user's own, a regular file no one else may read,
// of at most 4 KiB; its first line, ended by LF or CRLF, is the passphrase.
TEST_F(AdminE2eTest, PassphraseFilesAreOwnerOnlyAndTheirFirstLineIsThePassphrase) {
  if (!e2e::kPosixOnly.empty()) GTEST_SKIP() << e2e::kPosixOnly;
  ASSERT_EQ(Run({"encrypt", "--configfile", "@settings.json"}, kOld + "\n" + kOld + "\n").status, 0);
  WriteFile(dir.File("owner-only"), kOld + "\n");
  boost::filesystem::permissions(dir.File("owner-only"), boost::filesystem::perms(0600));
  const std::string untrusted = "it must be a file of your own, not a link";
  const struct Row { const char* what; std::string text; unsigned mode; bool link; int status; std::string message; } rows[] = {
      {"LF, a second line ignored", kOld + "\nsecond line\n", 0600, false, 0, ""},
      {"CRLF", kOld + "\r\n", 0600, false, 0, ""},
      {"no line end", kOld, 0600, false, 0, ""},
      {"a CR not before LF is part of the passphrase", kOld + "\rmore\n", 0600, false, 46, ""},
      {"a short first line", "short12\n" + kOld + "\n", 0600, false, 46, "shorter than 8 characters"},
      {"group-readable", kOld + "\n", 0640, false, 46, untrusted},
      {"a link to an owner-only file", "", 0600, true, 46, untrusted},
      {"over 4 KiB", kOld + "\n" + std::string(4096, 'x'), 0600, false, 46, "at most 4096 bytes"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    boost::filesystem::remove(dir.File("pf"));
    if (row.link) {
      boost::filesystem::create_symlink(dir.File("owner-only"), dir.File("pf"));
    } else {
      WriteFile(dir.File("pf"), row.text);
      boost::filesystem::permissions(dir.File("pf"), boost::filesystem::perms(row.mode));
    }
    const Finished run = Run({"list", "--type", "settings", "--passphrase-file", "@pf"});
    EXPECT_EQ(run.status, row.status) << run.error;
    EXPECT_EQ(run.output, row.status == 0 ? "ctl\ndb\nempty\nquote\n" : "");
    EXPECT_NE(run.error.find(row.message), std::string::npos) << run.error;
  }
  // A new store made through a CRLF file opens with the passphrase typed.
  WriteFile(dir.File("crlf"), kNew + "\r\n");
  boost::filesystem::permissions(dir.File("crlf"), boost::filesystem::perms(0600));
  ASSERT_EQ(Run({"set", "--store", "@new.store", "--passphrase-file", "@crlf", "--key", "k", "--value-from", "-"}, "v").status, 0);
  EXPECT_EQ(Run({"get", "--store", "@new.store", "--key", "k"}, kNew + "\n").output, "v\n");
}

TEST_F(AdminE2eTest, UsageFaultsExitTwoOnOneLineWithTheUsage) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"list"}, {"list", "--type", "foo"}, {"verify", "--type"}, {"get", "--type", "settings", "--store", "@s", "--key", "k"},
           {"rekey", "--store", "@s", "--to-attended", "--to-unattended"}, {"list", "--store", "@s", "--unattended", "yes"},
           {"get", "--type", "credentials", "--key", "no-pair"}, {"set", "--type", "settings", "--key", "k", "--value-from", "-"},
           {"set", "--type", "credentials", "--user", "u", "--key", "k"}, {"remove", "--type", "settings", "--target", "t"}}) {
    const Finished run = Run(args);
    EXPECT_EQ(run.status, 2) << args[1];
    EXPECT_EQ(run.output, "");
    EXPECT_NE(run.error.find("usage: kelvox " + args[0] + " (--type"), std::string::npos) << run.error;
    // The host's own checks name the fault on the usage line; a command's own, on the line before.
    EXPECT_LE(std::count(run.error.begin(), run.error.end(), '\n'), 2) << run.error;
    EXPECT_EQ(run.error.find("log"), std::string::npos) << run.error;
  }
  EXPECT_EQ(Run({"decrypt", "-h"}).output.rfind("usage: kelvox decrypt", 0), 0u);
}

TEST_F(AdminE2eTest, FlippedOrTruncatedStoreFailsVerify) {
  ASSERT_EQ(Run({"encrypt", "--configfile", "@settings.json", "--unattended"}).status, 0);
  const std::string good = ReadFile(Settings());
  for (const std::string& bad :
       {good.substr(0, good.size() - 1), good.substr(0, good.size() - 1) + char(good.back() ^ 1)}) {
    WriteFile(Settings(), bad);
    const Finished run = Run({"verify", "--type", "settings", "--unattended"});
    EXPECT_EQ(run.status, 49);
    EXPECT_EQ(run.output, "");
    EXPECT_NE(run.error.find("details are in the log " + dir.File("kelvox.log")), std::string::npos);
  }
}

TEST_F(AdminE2eTest, DataCommandsLeaveNoCoreAndWriteNothingIntoAClosedStream) {
  if (!e2e::kPosixOnly.empty()) GTEST_SKIP() << e2e::kPosixOnly;
  ASSERT_EQ(Run({"encrypt", "--configfile", "@settings.json"}, kOld + "\n" + kOld + "\n").status, 0);
  // Waiting at the prompt, the plug-in loaded: no core of any size, and
  // (seen by other users only) a process that is not dumpable.
  e2e::PtySession session(Args({"list", "--type", "settings"}), Env());
  ASSERT_TRUE(session.WaitFor("Enter passphrase: "));
  const std::string proc = "/proc/" + std::to_string(session.Pid());
  const std::string limits = ReadFile(proc + "/limits"), core = "Max core file size";
  std::istringstream sizes(limits.substr(limits.find(core) + core.size()));
  std::string soft, hard;
  sizes >> soft >> hard;
  EXPECT_EQ(soft + " " + hard, "0 0");
  struct stat owner {};
  EXPECT_TRUE(e2e::RunsAsRoot() || (::stat(proc.c_str(), &owner) == 0 && owner.st_uid == 0));
  session.Type(kOld + "\r");
  EXPECT_EQ(session.Wait().status, 0);
  // set asks a value hidden, twice; Ctrl+C at a store command's prompt ends
  // the run with 130, the terminal given back first.
  WriteFile(dir.File("pass"), kOld + "\n");
  boost::filesystem::permissions(dir.File("pass"), boost::filesystem::owner_read | boost::filesystem::owner_write);
  e2e::PtySession typed(Args({"set", "--type", "settings", "--passphrase-file", "@pass", "--key", "typed", "--quiet"}), Env());
  ASSERT_TRUE(typed.WaitFor("Enter value: "));
  typed.Type("s3cret\r");
  ASSERT_TRUE(typed.WaitFor("confirm again:"));
  typed.Type("s3cret\r");
  EXPECT_EQ(typed.Wait().status, 0);
  EXPECT_EQ(Run({"get", "--type", "settings", "--passphrase-file", "@pass", "--key", "typed"}).output, "s3cret\n");
  e2e::PtySession stopped(Args({"list", "--type", "settings"}), Env());
  ASSERT_TRUE(stopped.WaitFor("Enter passphrase: "));
  stopped.Type("\x03");
  EXPECT_EQ(stopped.Wait().status, 130);
  EXPECT_TRUE(stopped.EchoesAndEditsLines());
  // Started with standard output closed, decrypt writes its values nowhere,
  // not into the log that took descriptor 1, and fails for it.
  const Finished closed = e2e::RunWithPipes(
      {"/bin/sh", "-c", "exec \"$0\" \"$@\" >&-", kKelvox, "decrypt", "--type", "settings"}, Env(),
      kOld + "\n");
  EXPECT_EQ(closed.status, 11) << closed.error;
  EXPECT_EQ(ReadFile(dir.File("kelvox.log")).find("w\xc3\xb6rld"), std::string::npos);
}

}  // namespace

// Edit writes only what was changed in the editor, onto the store as other
// commands left it meanwhile; a record changed on both sides stops it.
TEST_F(AdminE2eTest, EditKeepsWritesMadeWhileTheEditorIsOpen) {
  if (!e2e::kPosixOnly.empty()) GTEST_SKIP() << "the editors are shell scripts, and edit refuses on Windows";
  const std::string store = dir.File("e.store");
  const std::string u = " --unattended --quiet";
  for (const auto& [key, value] : {std::pair{"a", "1"}, {"c", "5"}, {"r", "3"}}) {
    ASSERT_EQ(Run({"set", "--store", store, "--key", key, "--value-from", "-", "--unattended", "--quiet"}, value).status, 0);
  }
  const std::string meanwhile = Editor("meanwhile.sh", "sed -i -e 's/\"a\": \"1\"/\"a\": \"10\"/' -e '/\"c\": \"5\"/d' \"$1\"\n"
      "printf 20 | " + kKelvox + " set --store " + store + " --key b --value-from -" + u + "\n" +
      kKelvox + " remove --store " + store + " --key r" + u);
  const std::string clash = Editor("clash.sh", "sed -i 's/\"a\": \"10\"/\"a\": \"11\"/' \"$1\"\n"
      "printf 12 | " + kKelvox + " set --store " + store + " --key a --value-from -" + u);
  const auto get = [&](const char* key) { return Run({"get", "--store", store, "--key", key, "--unattended"}).output; };
  const Finished edited = Run({"edit", "--store", store, "--unattended", "--quiet"}, "", Editing(meanwhile));
  EXPECT_EQ(edited.status, 0) << edited.error;
  EXPECT_EQ(Run({"list", "--store", store, "--unattended"}).output, "a\nb\n");
  EXPECT_EQ(get("a") + get("b"), "10\n20\n");
  const Finished clashed = Run({"edit", "--store", store, "--unattended", "--quiet"}, "", Editing(clash));
  EXPECT_EQ(clashed.status, 11);
  EXPECT_NE(clashed.error.find("changed what you changed too: a."), std::string::npos) << clashed.error;
  EXPECT_EQ(get("a"), "12\n");
}
