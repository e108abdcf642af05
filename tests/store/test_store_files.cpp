// What the store makes of the files around it: a host key someone else
// could have planted, special files and links where a store should be,
// the access an administrator gave a store, names near the system's limit,
// and what killed writers leave behind.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>
// aclapi.h and sddl.h need the declarations of windows.h.
#include <aclapi.h>
#include <sddl.h>
#else
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/EnDecrypt.h"
#include "host/GlobalConfig.h"
#include "suite/endecrypt/EnDecryptDiagnostics.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = boost::filesystem;
using Records = std::map<std::string, std::string>;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr char kPassphrase[] = "correct horse";
constexpr char kUnattended[] = "";

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct ConfigReload {
  ~ConfigReload() { ZUdurov::GlobalConfig::Reload(); }
};

class StoreFilesTest : public testing::Test {
 protected:
  StoreFilesTest() {
    WriteFile(dir.File("global.config"),
              "ENCRYPT_KDF_OPSLIMIT=1\nENCRYPT_KDF_MEMLIMIT=8192\nENCRYPT_HOST_KEY_PATH=" +
                  host_key + "\n");
    ZUdurov::GlobalConfig::Reload();
  }

  static EnDecrypt& Store() { return *EnDecrypt::GetInstance(); }
  int Write(const Records& records, const std::string& passphrase = kPassphrase) {
    return Store().Encrypt(records, path, passphrase, true);
  }
  int Read(const std::string& passphrase = kPassphrase) {
    Records records;
    return Store().Decrypt(path, records, passphrase);
  }

  testing_support::ScopedTempDir dir;
  ConfigReload reload;
  testing_support::ScopedEnv config_file{"KELVOX_GLOBAL_CONFIG", dir.File("global.config")};
  std::string keys = dir.File("keys");
  std::string host_key = dir.File("keys/host.key");
  std::string stores = dir.File("stores");
  std::string path = dir.File("stores/settings.store");
  Records small{{"user", "admin"}, {"password", "s3cret"}};
};

TEST_F(StoreFilesTest, NameAtTheSystemLimitIsWritten) {
  const std::string name(250, 's');
  path = stores + "/" + name;
  ASSERT_EQ(Write(small), 0);
  ASSERT_EQ(Write({{"more", "x"}}), 0);
  const std::vector<std::string> entries = FolderEntries(stores);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), name), 1);
  EXPECT_LE(entries.size(), 2u);  // on Windows, the writers' lock file too
}

#if defined(_WIN32)
TEST_F(StoreFilesTest, HostKeyOthersMayReadIsRefused) {
  ASSERT_EQ(Write(small, kUnattended), 0);
  const std::string bytes = ReadFile(path);
  // Everyone may read the key now.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:P(A;;FA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL access = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &access, &defaulted));
  std::wstring key = fs::path(host_key).wstring();
  EXPECT_EQ(::SetNamedSecurityInfoW(key.data(), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, access, nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));
  ::LocalFree(descriptor);
  EXPECT_EQ(Read(kUnattended), endecrypt_status::kNoCredential);
  EXPECT_EQ(Write({{"more", "x"}}, kUnattended), endecrypt_status::kNoCredential);
  EXPECT_EQ(ReadFile(path), bytes);
}
#else
constexpr uid_t kNobody = 65534;

TEST_F(StoreFilesTest, HostKeyOthersCouldPlantOrReadIsRefused) {
  const bool root = ::geteuid() == 0;
  const struct {
    const char* fault;
    std::function<void(const std::string&, const std::string&)> plant;
  } cases[] = {
      {"group may read it", [](const std::string& key, const std::string&) {
         ::chmod(key.c_str(), 0640);
       }},
      {"folder open to others", [](const std::string&, const std::string& folder) {
         ::chmod(folder.c_str(), 0777);
       }},
      {"symbolic link", [](const std::string& key, const std::string&) {
         fs::rename(key, key + ".real");
         fs::create_symlink(key + ".real", key);
       }},
      {"FIFO", [](const std::string& key, const std::string&) {
         fs::remove(key);
         ::mkfifo(key.c_str(), 0600);
       }},
      {"another owner", [root](const std::string& key, const std::string&) {
         if (root) {
           EXPECT_EQ(::chown(key.c_str(), kNobody, kNobody), 0);
         }
       }},
  };
  for (const auto& [fault, plant] : cases) {
    if (std::string(fault) == "another owner" && !root) continue;  // needs chown
    fs::remove_all(keys);
    fs::remove_all(stores);
    ASSERT_EQ(Write(small, kUnattended), 0) << fault;
    const std::string bytes = ReadFile(path);
    plant(host_key, keys);
    EXPECT_EQ(Read(kUnattended), endecrypt_status::kNoCredential) << fault;
    EXPECT_EQ(Write({{"more", "x"}}, kUnattended), endecrypt_status::kNoCredential) << fault;
    EXPECT_EQ(ReadFile(path), bytes) << fault;
    ::chmod(keys.c_str(), 0700);
  }
  // A folder open to others gets no new key either.
  fs::remove_all(stores);
  fs::remove(host_key);
  ::chmod(keys.c_str(), 0777);
  EXPECT_EQ(Write(small, kUnattended), endecrypt_status::kNoCredential);
  EXPECT_FALSE(fs::exists(host_key));
}

TEST_F(StoreFilesTest, SpecialFilesAndDanglingLinksFailAtOnce) {
  const struct {
    const char* fault;
    std::function<void(const std::string&)> plant;
    int write_status;
  } cases[] = {
      {"FIFO", [](const std::string& at) { ::mkfifo(at.c_str(), 0600); },
       endecrypt_status::kInvalidFile},
      {"dangling link", [](const std::string& at) { fs::create_symlink("gone/settings", at); },
       endecrypt_status::kWriteFailed},
      {"link loop", [](const std::string& at) { fs::create_symlink(at, at); },
       endecrypt_status::kWriteFailed},
  };
  for (const auto& [fault, plant, write_status] : cases) {
    fs::remove_all(stores);
    fs::create_directories(stores);
    plant(path);
    const unsigned long long derived = EnDecryptKeyDerivationCount();
    // A FIFO would block these forever if it were opened for reading.
    int mode = 0;
    EXPECT_NE(Store().GetFileLastEncryptionMode(path, mode), 0) << fault;
    EXPECT_NE(Read(), 0) << fault;
    EXPECT_EQ(Write(small), write_status) << fault;
    EXPECT_EQ(EnDecryptKeyDerivationCount(), derived) << fault;
    EXPECT_EQ(FolderEntries(stores), std::vector<std::string>{"settings.store"}) << fault;
  }
}

TEST_F(StoreFilesTest, RewriteKeepsLinkOwnerGroupAndMode) {
  const std::string target = dir.File("elsewhere/real.store");
  fs::create_directories(fs::path(target).parent_path());
  fs::create_directories(stores);
  ASSERT_EQ(Store().Encrypt(small, target, kPassphrase, true), 0);
  fs::create_symlink(target, path);
  struct stat before;
  ASSERT_EQ(::stat(target.c_str(), &before), 0);
  EXPECT_EQ(before.st_mode & 0777, 0600u);  // a new store
  // An administrator lets a service account read the store.
  const gid_t group = ::geteuid() == 0 ? kNobody : before.st_gid;
  ASSERT_EQ(::chown(target.c_str(), before.st_uid, group), 0);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(Write({{"more", "x"}}), 0);
  EXPECT_TRUE(fs::is_symlink(path));
  struct stat after;
  ASSERT_EQ(::stat(target.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // replaced, not written in place
  EXPECT_EQ(after.st_mode & 0777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, group);
  Records stored;
  ASSERT_EQ(Store().Decrypt(path, stored, kPassphrase), 0);
  EXPECT_EQ(stored.size(), 3u);
  EXPECT_EQ(FolderEntries(dir.File("elsewhere")), std::vector<std::string>{"real.store"});
}

TEST_F(StoreFilesTest, WritesPastTheFileSizeLimitFailInsteadOfKilling) {
  ASSERT_NE(EnDecrypt::GetInstance(), nullptr);
  struct sigaction action;
  ASSERT_EQ(::sigaction(SIGXFSZ, nullptr, &action), 0);
  EXPECT_EQ(action.sa_handler, SIG_IGN);
}

TEST_F(StoreFilesTest, KilledWritersLeaveNothingAfterTheNextWrite) {
  constexpr int kKills = 20;
  Records large;
  for (int i = 0; i < 2000; ++i) large["key" + std::to_string(i)] = std::string(100, 'v');
  ASSERT_EQ(Write(large), 0);
  std::mt19937 random(20261206);
  for (int kill = 0; kill < kKills; ++kill) {
    const pid_t child = ::fork();
    if (child == 0) {
      for (;;) static_cast<void>(Store().Encrypt(large, path, kPassphrase, false));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  ASSERT_EQ(Write(small), 0);
  EXPECT_EQ(FolderEntries(stores), std::vector<std::string>{"settings.store"});
}

#endif  // _WIN32

}  // namespace
