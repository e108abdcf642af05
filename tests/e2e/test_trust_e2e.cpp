// The trust rule end to end, through the real program: every kind of file
// the tool reads settings or secrets from or writes into is refused where
// someone else could have put or swapped it, and what was there is left as
// it was; and every place a store can be at is one the host key's
// administration sees.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>

#include <boost/filesystem.hpp>

#include "suite/platform/FileNames.h"
#include "tests/e2e/Home.h"
#include "tests/support/TestSupport.h"

namespace {

using e2e::Finished;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr uid_t kNobody = 65534;

class TrustE2eTest : public e2e::HomeTest<> {
 protected:
  TrustE2eTest() {
    boost::filesystem::create_directory(dir.File("open"));
    boost::filesystem::permissions(dir.File("open"), boost::filesystem::perms(0777));
    WriteFile(dir.File("v"), "s3cret");
  }
};

// Each row puts one kind of file where the rule refuses it and runs one
// command: a store, a key or a lock is refused with the check named; a log
// is not used, and the command goes on (as it does past a misspelt key of
// the configuration, which is named). The files of the row stay as they
// were, and what the run must not make is not made.
TEST_F(TrustE2eTest, EveryKindOfFileIsRefusedWhereOthersCouldHavePutIt) {
  const bool root = ::geteuid() == 0;
  if (root) {
    boost::filesystem::create_directory(dir.File("theirs"));
    ASSERT_EQ(::chown(dir.File("theirs").c_str(), kNobody, kNobody), 0);
  }
  const std::vector<std::string> set = {"set", "--type", "settings", "--key", "k", "--value-from", "@v", "--unattended", "--quiet"};
  const std::vector<std::string> set_credential = {"set", "--type", "credentials", "--target", "h", "--user", "u", "--value-from", "@v", "--unattended", "--quiet"};
  const std::vector<std::string> decrypt = {"decrypt", "--type", "settings", "--unattended", "--force", "--output"};
  const auto plus = [](std::vector<std::string> args, const std::string& last) { args.push_back(last); return args; };
  ASSERT_EQ(Run(set).status, 0);  // the host key and the settings store exist from here on
  const std::string lock = dir.File(platform::LockFileName("credentials.store"));
  const struct Row {
    const char* what;
    bool needs_root;
    std::function<void()> arrange;
    std::vector<std::string> args;
    int status;                          // -1: any failure
    std::string said;                    // in what the run prints
    std::vector<std::string> untouched;  // files that must stay as they were
    std::string absent;                  // a file the run must not make
  } rows[] = {
      {"a store in a folder others may write", false, [&] { WriteConfig({{"ENCRYPTED_CREDENTIALS_FILE_PATH", dir.File("open/credentials.store")}}); },
       set_credential, -1, "writable by group or others", {}, dir.File("open/credentials.store")},
      {"a host key in a folder of another user", true, [&] { WriteConfig({{"ENCRYPT_HOST_KEY_PATH", dir.File("theirs/host.key")}}); },
       set_credential, -1, "owned by another user", {}, dir.File("theirs/host.key")},
      {"a configuration in a folder others may write", false, [&] { WriteConfig({}, "open/global.config"); },
       {"list", "--type", "settings", "--unattended"}, -1, "configuration file is not used", {}, ""},
      {"a file of content at the writers' lock's name", false, [&] { WriteFile(lock, "plaintext of root"); ::chmod(lock.c_str(), 0600); },
       set_credential, -1, "lock file", {lock}, dir.File("credentials.store")},
      {"--output --force onto a store", false, [] {}, plus(decrypt, "@settings.store"), -1, "store", {dir.File("settings.store")}, ""},
      {"--output --force onto the host key", false, [] {}, plus(decrypt, "@host.key"), -1, "host key", {dir.File("host.key")}, ""},
      {"--output --force onto the configuration", false, [] {}, plus(decrypt, "@global.config"), -1, "configuration", {dir.File("global.config")}, ""},
      {"the log at the host key", false, [&] { WriteConfig({{"LOG_FILE", dir.File("host.key")}}); }, set, 0, "is not used", {dir.File("host.key")}, ""},
      {"the log at the configuration", false, [&] { WriteConfig({{"LOG_FILE", dir.File("global.config")}}); }, set, 0, "is not used", {dir.File("global.config")}, ""},
      {"the log at a store", false, [&] { WriteConfig({{"LOG_FILE", dir.File("credentials.store")}}); boost::filesystem::copy_file(dir.File("settings.store"), dir.File("credentials.store")); },
       {"list", "--type", "settings", "--unattended"}, 0, "is not used", {dir.File("credentials.store")}, ""},
      {"a misspelt key of the configuration", false, [&] { WriteConfig({{"LOG_LEVL", "4"}}); },
       {"list", "--type", "settings", "--unattended"}, 0, "unknown key 'LOG_LEVL' is ignored; did you mean 'LOG_LEVEL'?", {}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.needs_root && !root) continue;
    WriteConfig({});
    row.arrange();
    std::vector<std::string> before;
    for (const std::string& file : row.untouched) before.push_back(ReadFile(file));
    const Finished run = Run(row.args);
    EXPECT_TRUE(row.status < 0 ? run.status != 0 : run.status == row.status) << run.status << run.error;
    EXPECT_NE((run.output + run.error).find(row.said), std::string::npos) << run.output << run.error;
    for (std::size_t at = 0; at < row.untouched.size(); ++at) {
      EXPECT_EQ(ReadFile(row.untouched[at]), before[at]) << row.untouched[at];
    }
    EXPECT_TRUE(row.absent.empty() || !boost::filesystem::exists(row.absent)) << row.absent;
    boost::filesystem::remove(lock);
    boost::filesystem::remove(dir.File("credentials.store"));
  }
}

// With WRK_BIN_EXE set, a store of one type goes beside that program; the
// host key's rotation must move it there, and retiring the old key must
// not strand it.
TEST_F(TrustE2eTest, HostKeyAdministrationSeesTheStoreWhereverTheProgramVariablePutIt) {
  boost::filesystem::create_directory(dir.File("bin"));
  WriteConfig({{"ENCRYPT_SETTING_PATH", "settings.store"}, {"ENCRYPTED_CREDENTIALS_FILE_PATH", "credentials.store"}});
  const e2e::Environment program = {{"WRK_BIN_EXE", dir.File("bin/kelvox")}};
  ASSERT_EQ(Run({"set", "--type", "credentials", "--target", "h", "--user", "u", "--value-from", "@v",
                 "--unattended", "--quiet"}, "", program).status, 0);
  ASSERT_TRUE(boost::filesystem::exists(dir.File("bin/credentials.store")));
  const Finished status = Run({"hostkey", "status"}, "", program);
  EXPECT_NE(status.output.find(dir.File("bin/credentials.store")), std::string::npos) << status.output;
  const std::string key_line = status.output.substr(status.output.find("key id: ") + 8, 16);
  ASSERT_EQ(Run({"hostkey", "rotate", "--quiet"}, "", program).status, 0);
  ASSERT_EQ(Run({"hostkey", "retire", key_line, "--quiet"}, "", program).status, 0);
  const Finished get = Run({"get", "--type", "credentials", "--key", "h/password", "--unattended"}, "", program);
  EXPECT_EQ(get.status, 0) << get.error;
  EXPECT_EQ(get.output, "s3cret\n");
}

}  // namespace
