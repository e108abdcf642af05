// The trust rule end to end, through the real program: every kind of file
// the tool reads settings or secrets from or writes into is refused where
// someone else could have put or swapped it, and what was there is left as
// it was; and every place a store can be at is one the host key's
// administration sees.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include <boost/filesystem.hpp>

#include "suite/platform/FileNames.h"
#include "tests/e2e/Process.h"
#include "tests/support/TestSupport.h"

namespace {

using e2e::Finished;
using testing_support::ReadFile;
using testing_support::ScopedTempDir;
using testing_support::WriteFile;

const std::string kKelvox = KELVOX_PROGRAM;
constexpr uid_t kNobody = 65534;

class TrustE2eTest : public testing::Test {
 protected:
  TrustE2eTest() {
    boost::filesystem::create_directory(dir.File("open"));
    boost::filesystem::permissions(dir.File("open"), boost::filesystem::perms(0777));
    WriteFile(dir.File("v"), "s3cret");
    WriteConfig({});
  }

  // The configuration, with `changes` ("KEY=VALUE") after the defaults,
  // which a later line of the same key overrides.
  void WriteConfig(const std::vector<std::string>& changes, const std::string& at = "global.config") {
    std::string text = "ENCRYPT_SETTING_PATH=" + dir.File("s.store") +
                       "\nENCRYPTED_CREDENTIALS_FILE_PATH=" + dir.File("c.store") +
                       "\nENCRYPT_HOST_KEY_PATH=" + dir.File("host.key") +
                       "\nLOG_FILE=" + dir.File("kelvox.log") + "\n";
    for (const std::string& change : changes) {
      const std::string key = change.substr(0, change.find('=') + 1);
      const std::size_t line = text.find(key);
      if (line != std::string::npos) text.erase(line, text.find('\n', line) + 1 - line);
      text += change + "\n";
    }
    WriteFile(dir.File(at), text);
    config = dir.File(at);
  }

  Finished Run(std::vector<std::string> args, const e2e::Environment& extra = {}) {
    for (std::string& arg : args) arg = arg.rfind("@", 0) == 0 ? dir.File(arg.substr(1)) : arg;
    args.insert(args.begin(), kKelvox);
    e2e::Environment environment = {{"KELVOX_GLOBAL_CONFIG", config}};
    environment.insert(extra.begin(), extra.end());
    return e2e::RunWithPipes(args, environment, "");
  }

  Finished Set(const std::string& type = "settings") {
    return Run({"set", "--type", type, "--key", "k", "--value-from", "@v", "--unattended", "--quiet"});
  }

  ScopedTempDir dir;
  std::string config;
};

// Each row puts one kind of file where the rule refuses it, runs one
// command, and wants a failure whose words name the check, with the files
// of the row as they were.
TEST_F(TrustE2eTest, EveryKindOfFileIsRefusedWhereOthersCouldHavePutIt) {
  const bool root = ::geteuid() == 0;
  if (root) {
    boost::filesystem::create_directory(dir.File("theirs"));
    ASSERT_EQ(::chown(dir.File("theirs").c_str(), kNobody, kNobody), 0);
  }
  ASSERT_EQ(Set().status, 0);  // the host key and the settings store exist from here on
  const std::string lock = dir.File(platform::LockFileName("c.store"));
  const struct Row {
    const char* what;
    bool needs_root;
    std::function<void()> arrange;
    std::vector<std::string> args;
    std::string said;            // in what the run prints
    std::vector<std::string> untouched;  // files that must stay as they were
    std::string absent;          // a file the run must not make
  } rows[] = {
      {"a store in a folder others may write", false,
       [&] { WriteConfig({"ENCRYPTED_CREDENTIALS_FILE_PATH=" + dir.File("open/c.store")}); },
       {"set", "--type", "credentials", "--target", "h", "--user", "u", "--value-from", "@v", "--unattended", "--quiet"},
       "writable by group or others", {}, dir.File("open/c.store")},
      {"a host key in a folder of another user", true,
       [&] { WriteConfig({"ENCRYPT_HOST_KEY_PATH=" + dir.File("theirs/host.key")}); },
       {"set", "--type", "credentials", "--target", "h", "--user", "u", "--value-from", "@v", "--unattended", "--quiet"},
       "owned by another user", {}, dir.File("theirs/host.key")},
      {"a configuration in a folder others may write", false,
       [&] { WriteConfig({}, "open/global.config"); },
       {"list", "--type", "settings", "--unattended"}, "configuration file is not used", {}, ""},
      {"a file of content at the writers' lock's name", false,
       [&] { WriteFile(lock, "plaintext of root"); ::chmod(lock.c_str(), 0600); },
       {"set", "--type", "credentials", "--target", "h", "--user", "u", "--value-from", "@v", "--unattended", "--quiet"},
       "lock file", {lock}, dir.File("c.store")},
      {"--output --force onto a store", false, [] {},
       {"decrypt", "--type", "settings", "--unattended", "--output", "@s.store", "--force"}, "store",
       {dir.File("s.store")}, ""},
      {"--output --force onto the host key", false, [] {},
       {"decrypt", "--type", "settings", "--unattended", "--output", "@host.key", "--force"}, "host key",
       {dir.File("host.key")}, ""},
      {"--output --force onto the configuration", false, [] {},
       {"decrypt", "--type", "settings", "--unattended", "--output", "@global.config", "--force"},
       "configuration", {dir.File("global.config")}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.needs_root && !root) continue;
    WriteConfig({});
    row.arrange();
    std::vector<std::string> before;
    for (const std::string& file : row.untouched) before.push_back(ReadFile(file));
    const Finished run = Run(row.args);
    EXPECT_NE(run.status, 0);
    EXPECT_NE((run.output + run.error).find(row.said), std::string::npos) << run.output << run.error;
    for (std::size_t at = 0; at < row.untouched.size(); ++at) {
      EXPECT_EQ(ReadFile(row.untouched[at]), before[at]) << row.untouched[at];
    }
    if (!row.absent.empty()) {
      EXPECT_FALSE(boost::filesystem::exists(row.absent));
    }
    boost::filesystem::remove(lock);
  }
}

// Whatever LOG_FILE names, a key, a store or the configuration is never
// appended to, and the command still does its work.
TEST_F(TrustE2eTest, TheLogNeverAppendsToAKeyAStoreOrTheConfiguration) {
  ASSERT_EQ(Set().status, 0);
  for (const char* target : {"host.key", "s.store", "global.config"}) {
    SCOPED_TRACE(target);
    WriteConfig({"LOG_FILE=" + dir.File(target), "LOG_LEVEL=4"});
    const std::string before = ReadFile(dir.File(target));
    const Finished run = Set();
    EXPECT_EQ(run.status, 0) << run.error;
    EXPECT_NE(run.error.find("is not used"), std::string::npos) << run.error;
    if (std::string(target) != "s.store") {
      EXPECT_EQ(ReadFile(dir.File(target)), before);
    }
  }
}

// With WRK_BIN_EXE set, a store of one type goes beside that program; the
// host key's rotation must move it there, and retiring the old key must
// not strand it.
TEST_F(TrustE2eTest, HostKeyAdministrationSeesTheStoreWhereverTheProgramVariablePutIt) {
  boost::filesystem::create_directory(dir.File("bin"));
  WriteConfig({"ENCRYPT_SETTING_PATH=s.store", "ENCRYPTED_CREDENTIALS_FILE_PATH=c.store"});
  const e2e::Environment program = {{"WRK_BIN_EXE", dir.File("bin/kelvox")}};
  ASSERT_EQ(Run({"set", "--type", "credentials", "--target", "h", "--user", "u", "--value-from", "@v",
                 "--unattended", "--quiet"}, program).status, 0);
  ASSERT_TRUE(boost::filesystem::exists(dir.File("bin/c.store")));
  const Finished status = Run({"hostkey", "status"}, program);
  EXPECT_NE(status.output.find(dir.File("bin/c.store")), std::string::npos) << status.output;
  const std::string key_line = status.output.substr(status.output.find("key id: ") + 8, 16);
  ASSERT_EQ(Run({"hostkey", "rotate", "--quiet"}, program).status, 0);
  ASSERT_EQ(Run({"hostkey", "retire", key_line, "--quiet"}, program).status, 0);
  const Finished get = Run({"get", "--type", "credentials", "--key", "h/password", "--unattended"}, program);
  EXPECT_EQ(get.status, 0) << get.error;
  EXPECT_EQ(get.output, "s3cret\n");
}

}  // namespace
