// The encrypted record store through its public interface, on real files:
// round trips first, then the writing guarantees, then one case per fault.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>
// aclapi.h and sddl.h need the declarations of windows.h.
#include <aclapi.h>
#include <sddl.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/EnDecrypt.h"
#include "host/GlobalConfig.h"
#include "suite/endecrypt/EnDecryptDiagnostics.h"
#include "tests/store/StoreWriter.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = boost::filesystem;
using Records = std::map<std::string, std::string>;
using store_writer::AddedKey;
using store_writer::FirstStore;
using store_writer::SecondStore;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr char kPassphrase[] = "correct horse";
constexpr char kUnattended[] = "";
// The cheapest costs libsodium allows: these tests derive keys hundreds of times.
constexpr char kCheapCosts[] = "ENCRYPT_KDF_OPSLIMIT=1\nENCRYPT_KDF_MEMLIMIT=8192\n";

// Header layout, as docs/store-format.md fixes it.
constexpr std::size_t kVersionOffset = 8;
constexpr std::size_t kModeOffset = 9;
constexpr std::size_t kOpsLimitOffset = 10;
constexpr std::size_t kMemLimitOffset = 14;
constexpr std::size_t kSaltOffset = 22;
constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kBodyLengthOffset = 86;
constexpr std::size_t kHeaderSize = 94;

// A store written with kPassphrase at costs 1 and 8192, holding "k" -> "v".
constexpr char kVersion1Store[] =
    "4b565853544f5245"                                               // magic
    "0100"                                                           // version, mode
    "01000000"                                                       // opslimit
    "0020000000000000"                                               // memlimit
    "c451e026be31ccba5690835575a9fff7"                               // salt
    "0000000000000000"                                               // key id
    "76c89e95bea115ac5fd93ef34e75da466052feba7d3610d0"               // nonce
    "526e9aba405654bc551944f10bfedb8e"                               // key check
    "1e00000000000000"                                               // body length
    "2966527c60a04b0999bbd40baf228d49a98629ac3a9c906abb9e7bdc72bc";  // body

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

void PutLittleEndian(std::string& bytes, std::size_t offset, std::uint64_t value,
                     std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

std::uint64_t GetLittleEndian(const std::string& bytes, std::size_t offset, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) {
    value |= std::uint64_t{static_cast<unsigned char>(bytes[offset + i])} << (8 * i);
  }
  return value;
}

#if !defined(_WIN32)
unsigned Permissions(const std::string& path) {
  struct stat status;
  EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}
#endif

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `body` in a child process and returns its exit status, or -1 when a
// signal ended it.
#if !defined(_WIN32)
int RunInChild(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

#if defined(_WIN32)
constexpr char kLocalSystemSid[] = "S-1-5-18";

// A HANDLE closed on destruction.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() {
    if (valid()) ::CloseHandle(handle);
  }
  bool valid() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle;
};

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (!::ConvertSidToStringSidA(sid, &text)) return "unreadable SID";
  std::string result = text;
  ::LocalFree(text);
  return result;
}

std::string CurrentUserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  const ScopedHandle closer(token);
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> user(size);
  if (!::GetTokenInformation(token, TokenUser, user.data(), size, &size)) return {};
  return SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
}

// Whom the access list of `path` lets in, sorted: the SID of each "allowed"
// entry, and the type of any other entry. A missing list, which lets
// everyone in, reads as "no list".
std::vector<std::string> AdmittedBy(const std::string& path) {
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(fs::path(path).wstring().c_str(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION, nullptr, nullptr, &list, nullptr,
                              &descriptor) != ERROR_SUCCESS) {
    return {"unreadable"};
  }
  std::vector<std::string> admitted;
  if (list == nullptr) admitted.push_back("no list");
  for (DWORD i = 0; list != nullptr && i < list->AceCount; ++i) {
    ACE_HEADER* entry = nullptr;
    if (!::GetAce(list, i, reinterpret_cast<void**>(&entry))) {
      admitted.push_back("unreadable entry");
    } else if (entry->AceType != ACCESS_ALLOWED_ACE_TYPE) {
      admitted.push_back("entry of type " + std::to_string(entry->AceType));
    } else {
      admitted.push_back(SidText(&reinterpret_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart));
    }
  }
  ::LocalFree(descriptor);
  std::sort(admitted.begin(), admitted.end());
  return admitted;
}

// A store_writer.exe process (store_writer.cpp), found beside this test's
// own executable; killed if still running when destroyed.
class WriterProcess {
 public:
  // Arguments hold no double quote and do not end in a backslash.
  explicit WriterProcess(const std::vector<std::string>& arguments) {
    std::vector<wchar_t> self(MAX_PATH);
    DWORD length;
    while ((length = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()))) ==
           self.size()) {
      self.resize(self.size() * 2);
    }
    const std::wstring program =
        (fs::path(std::wstring(self.data(), length)).parent_path() / "store_writer.exe").wstring();
    std::wstring command = L"\"" + program + L"\"";
    for (const std::string& argument : arguments) {
      command += L" \"" + fs::path(argument).wstring() + L"\"";
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         nullptr, &startup, &started)) {
      ::CloseHandle(started.hThread);
      process = started.hProcess;
    }
  }
  WriterProcess(const WriterProcess&) = delete;
  WriterProcess& operator=(const WriterProcess&) = delete;
  ~WriterProcess() {
    if (process == nullptr) return;
    Kill();
    ::CloseHandle(process);
  }

  bool Running() const {
    return process != nullptr && ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  }
  // The exit status once the process has ended; -1 when it never started.
  int Wait() {
    if (process == nullptr) return -1;
    ::WaitForSingleObject(process, INFINITE);
    DWORD status = 0;
    ::GetExitCodeProcess(process, &status);
    return static_cast<int>(status);
  }
  void Kill() {
    if (process == nullptr) return;
    ::TerminateProcess(process, kKilled);
    ::WaitForSingleObject(process, INFINITE);
  }

 private:
  static constexpr UINT kKilled = 137;
  HANDLE process = nullptr;
};
#endif

// Rereads the configuration once the environment is restored.
struct ConfigReload {
  ~ConfigReload() { ZUdurov::GlobalConfig::Reload(); }
};

class StoreTest : public testing::Test {
 protected:
  StoreTest() { Configure(kCheapCosts); }

  void Configure(const std::string& settings) {
    WriteFile(dir.File("global.config"), settings + "ENCRYPT_HOST_KEY_PATH=" + host_key + "\n");
    ZUdurov::GlobalConfig::Reload();
  }

  static EnDecrypt& Store() { return *EnDecrypt::GetInstance(); }
  int Write(const Records& records, const std::string& passphrase = kPassphrase,
            bool keep_stored = true) {
    return Store().Encrypt(records, path, passphrase, keep_stored);
  }
  int Read(Records& records, const std::string& passphrase = kPassphrase) {
    return Store().Decrypt(path, records, passphrase);
  }
  Records ReadOk(const std::string& passphrase = kPassphrase) {
    Records records;
    EXPECT_EQ(Read(records, passphrase), 0);
    return records;
  }
  int Mode(int& mode) { return Store().GetFileLastEncryptionMode(path, mode); }

  std::string Bytes() const { return ReadFile(path); }
  void SetBytes(const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, bytes);
  }
  void FlipByte(std::size_t offset, unsigned char mask) {
    std::string bytes = Bytes();
    bytes[offset] = static_cast<char>(bytes[offset] ^ mask);
    SetBytes(bytes);
  }

  testing_support::ScopedTempDir dir;
  ConfigReload reload;
  testing_support::ScopedEnv config_file{"KELVOX_GLOBAL_CONFIG", dir.File("global.config")};
  std::string host_key = dir.File("keys/host.key");
  std::string path = dir.File("stores/settings.store");
  Records small{{"user", "admin"}, {"password", "s3cret"}};
};

TEST_F(StoreTest, RoundTripKeepsAnyBytesInBothModes) {
  const Records records{{"", "empty key"},
                        {std::string("nul\0key", 7), std::string("\0\n\r\xff", 4)},
                        {"empty value", ""},
                        {"line\nbreaks", "a\nb\n"},
                        {"large", std::string(1 << 20, '\x5a')}};
  for (const char* passphrase : {kPassphrase, kUnattended}) {
    path = dir.File(std::string("stores/") + (*passphrase ? "attended" : "unattended"));
    ASSERT_EQ(Write(records, passphrase), 0);
    EXPECT_EQ(ReadOk(passphrase), records);
  }
}

TEST_F(StoreTest, LastModeIsTheModeOfTheWrite) {
  int mode = 2;
  ASSERT_EQ(Write(small, kPassphrase), 0);
  ASSERT_EQ(Mode(mode), 0);
  EXPECT_EQ(mode, 0);
  path = dir.File("stores/unattended.store");
  ASSERT_EQ(Write(small, kUnattended), 0);
  ASSERT_EQ(Mode(mode), 0);
  EXPECT_EQ(mode, 1);
}

TEST_F(StoreTest, FlagTrueMergesAndFlagFalseReplaces) {
  ASSERT_EQ(Write({{"a", "1"}, {"b", "2"}}), 0);
  ASSERT_EQ(Write({{"b", "3"}, {"c", "4"}}, kPassphrase, true), 0);
  EXPECT_EQ(ReadOk(), (Records{{"a", "1"}, {"b", "3"}, {"c", "4"}}));
  ASSERT_EQ(Write({{"d", "5"}}, kPassphrase, false), 0);
  EXPECT_EQ(ReadOk(), (Records{{"d", "5"}}));
  ASSERT_EQ(Write({}, kPassphrase, false), 0);
  EXPECT_EQ(ReadOk(), Records{});
}

TEST_F(StoreTest, DecryptReplacesTheCallersMap) {
  ASSERT_EQ(Write(small), 0);
  Records records{{"stale", "x"}};
  ASSERT_EQ(Read(records), 0);
  EXPECT_EQ(records, small);
}

TEST_F(StoreTest, RewriteKeepsSaltAndTakesFreshNonce) {
  ASSERT_EQ(Write(small), 0);
  const std::string first = Bytes();
  ASSERT_EQ(Write(small), 0);
  const std::string second = Bytes();
  EXPECT_EQ(first.substr(kSaltOffset, kSaltSize), second.substr(kSaltOffset, kSaltSize));
  EXPECT_NE(first, second);
}

TEST_F(StoreTest, ChangedCostsTakeEffectOnRewrite) {
  ASSERT_EQ(Write(small), 0);
  const std::string before = Bytes();
  Configure("ENCRYPT_KDF_OPSLIMIT=2\nENCRYPT_KDF_MEMLIMIT=16384\n");
  ASSERT_EQ(Write({{"more", "x"}}), 0);
  const std::string after = Bytes();
  EXPECT_EQ(GetLittleEndian(after, kOpsLimitOffset, 4), 2u);
  EXPECT_EQ(GetLittleEndian(after, kMemLimitOffset, 8), 16384u);
  EXPECT_NE(before.substr(kSaltOffset, kSaltSize), after.substr(kSaltOffset, kSaltSize));
  EnDecryptForgetDerivedKeys();
  EXPECT_EQ(ReadOk().size(), small.size() + 1);
}

#if !defined(_WIN32)
TEST_F(StoreTest, NewFilesAndFoldersAreOwnerOnly) {
  ASSERT_EQ(Write(small, kUnattended), 0);
  EXPECT_EQ(Permissions(dir.File("stores")), 0700u);
  EXPECT_EQ(Permissions(path), 0600u);
  EXPECT_EQ(Permissions(dir.File("keys")), 0700u);
  EXPECT_EQ(Permissions(host_key), 0600u);
  EXPECT_EQ(ReadFile(host_key).size(), 32u);
  ASSERT_EQ(Write(small, kUnattended), 0);
  EXPECT_EQ(Permissions(path), 0600u);
}
#else
TEST_F(StoreTest, NewFilesAndFoldersAreOwnerOnly) {
  std::vector<std::string> owner_only{CurrentUserSid(), kLocalSystemSid};
  std::sort(owner_only.begin(), owner_only.end());
  ASSERT_EQ(Write(small, kUnattended), 0);
  for (const std::string& made : {dir.File("stores"), path, dir.File("keys"), host_key}) {
    EXPECT_EQ(AdmittedBy(made), owner_only) << made;
  }
  EXPECT_EQ(ReadFile(host_key).size(), 32u);
  ASSERT_EQ(Write(small, kUnattended), 0);
  EXPECT_EQ(AdmittedBy(path), owner_only);
  // What the check tells apart: a file made without an access list of our own.
  WriteFile(dir.File("plain"), "x");
  EXPECT_NE(AdmittedBy(dir.File("plain")), owner_only);
}
#endif

TEST_F(StoreTest, UpdateSequenceDerivesTheKeyOnce) {
  ASSERT_EQ(Write(small), 0);
  EnDecryptForgetDerivedKeys();  // as a fresh process would start
  const unsigned long long before = EnDecryptKeyDerivationCount();
  int mode = 2;
  Records stored;
  ASSERT_EQ(Mode(mode), 0);
  ASSERT_EQ(Read(stored), 0);
  ASSERT_EQ(Write({{"new", "record"}}), 0);
  EXPECT_EQ(EnDecryptKeyDerivationCount(), before + 1);
  EXPECT_EQ(ReadOk().size(), small.size() + 1);
}

TEST_F(StoreTest, DefaultCostsAreRecordedAndOpen) {
  Configure("");
  ASSERT_EQ(Write(small), 0);
  const std::string bytes = Bytes();
  EXPECT_EQ(GetLittleEndian(bytes, kOpsLimitOffset, 4), 3u);
  EXPECT_EQ(GetLittleEndian(bytes, kMemLimitOffset, 8), 256u << 20);
  EnDecryptForgetDerivedKeys();
  EXPECT_EQ(ReadOk(), small);
}

TEST_F(StoreTest, StoreOfFormatVersion1StillOpens) {
  SetBytes(FromHex(kVersion1Store));
  EXPECT_EQ(ReadOk(), (Records{{"k", "v"}}));
}

// Concurrency and crashes, in child processes.

#if !defined(_WIN32)
TEST_F(StoreTest, ConcurrentWritersLoseNoRecord) {
  constexpr int kWriters = 4;
  constexpr int kWritesEach = 5;
  for (const char* passphrase : {kPassphrase, kUnattended}) {
    // No store and no host key yet: the writers also race to create them.
    path = dir.File(std::string("stores/") + (*passphrase ? "attended" : "unattended"));
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
      const pid_t child = ::fork();
      if (child == 0) {
        for (int i = 0; i < kWritesEach; ++i) {
          if (Write({{AddedKey(writer, i), "v"}}, passphrase) != 0) ::_exit(1);
        }
        ::_exit(0);
      }
      children.push_back(child);
    }
    for (const pid_t child : children) {
      int status = 0;
      ::waitpid(child, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(ReadOk(passphrase).size(), static_cast<std::size_t>(kWriters * kWritesEach));
  }
}
#else
TEST_F(StoreTest, ConcurrentWritersLoseNoRecord) {
  constexpr int kWriters = 4;
  constexpr int kWritesEach = 5;
  for (const char* passphrase : {kPassphrase, kUnattended}) {
    // No store and no host key yet: the writers also race to create them.
    path = dir.File(std::string("stores/") + (*passphrase ? "attended" : "unattended"));
    std::vector<std::unique_ptr<WriterProcess>> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
      writers.push_back(std::make_unique<WriterProcess>(std::vector<std::string>{
          "add", path, passphrase, std::to_string(writer), std::to_string(kWritesEach)}));
    }
    for (const auto& writer : writers) EXPECT_EQ(writer->Wait(), 0);
    Records expected;
    for (int writer = 0; writer < kWriters; ++writer) {
      for (int i = 0; i < kWritesEach; ++i) expected[AddedKey(writer, i)] = "v";
    }
    EXPECT_EQ(ReadOk(passphrase), expected);
  }
}
#endif

#if !defined(_WIN32)
TEST_F(StoreTest, KilledWriterLeavesOldOrNewStore) {
  constexpr int kKills = 30;
  const Records first = FirstStore();
  const Records second = SecondStore();
  ASSERT_EQ(Write(first), 0);
  std::mt19937 random(20260601);
  for (int kill = 0; kill < kKills; ++kill) {
    const pid_t child = ::fork();
    if (child == 0) {
      for (int i = 0;; ++i) {
        static_cast<void>(Write(i % 2 == 0 ? second : first, kPassphrase, false));
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 5000));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const Records stored = ReadOk();
    EXPECT_TRUE(stored == first || stored == second) << "after kill " << kill;
  }
}
#else
TEST_F(StoreTest, KilledWriterLeavesOldOrNewStore) {
  constexpr int kKills = 10;
  const Records first = FirstStore();
  const Records second = SecondStore();
  std::mt19937 random(20260601);
  for (int kill = 0; kill < kKills; ++kill) {
    // Also shows that the killed writer's lock went with it: this write
    // would wait for it forever.
    ASSERT_EQ(Write(first, kPassphrase, false), 0);
    const std::uintmax_t size_of_first = fs::file_size(path);
    WriterProcess writer({"churn", path, kPassphrase});
    // Starting a process takes long here; the kill must land among the
    // writes, so it waits for the first one (the store changes size).
    boost::system::error_code error;
    while (writer.Running() && fs::file_size(path, error) == size_of_first) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(writer.Running()) << "the writer ended by itself";
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 5000));
    writer.Kill();
    const Records stored = ReadOk();
    EXPECT_TRUE(stored == first || stored == second) << "after kill " << kill;
  }
}
#endif

// Error paths: one fault each.

TEST_F(StoreTest, MissingStoreIsNotExist) {
  int mode = 2;
  Records records{{"kept", "x"}};
  EXPECT_EQ(Mode(mode), 7);
  EXPECT_EQ(Read(records), 7);
  EXPECT_EQ(mode, 2);
  EXPECT_EQ(records.size(), 1u);
}

TEST_F(StoreTest, WrongPassphraseIsPassphraseError) {
  ASSERT_EQ(Write(small), 0);
  const std::string bytes = Bytes();
  Records records{{"kept", "x"}};
  EXPECT_EQ(Read(records, "correct horsf"), 13);
  EXPECT_EQ(Write({{"a", "b"}}, "wrong"), 13);
  EXPECT_EQ(records, (Records{{"kept", "x"}}));
  EXPECT_EQ(Bytes(), bytes);
}

TEST_F(StoreTest, OtherHostKeyIsPassphraseErrorAndNoKeyIsNoCredential) {
  ASSERT_EQ(Write(small, kUnattended), 0);
  WriteFile(host_key, std::string(32, '\x01'));
  Records records;
  EXPECT_EQ(Read(records, kUnattended), 13);
  fs::remove(host_key);
  EXPECT_EQ(Read(records, kUnattended), 1);
  EXPECT_EQ(Write(small, kUnattended), 1);
  // A damaged key file is never replaced: other stores may depend on it.
  WriteFile(host_key, "short");
  path = dir.File("stores/new.store");
  EXPECT_EQ(Write(small, kUnattended), 1);
  EXPECT_EQ(ReadFile(host_key), "short");
}

TEST_F(StoreTest, ModeMixIsRefusedAndLeavesTheStore) {
  ASSERT_EQ(Write(small, kPassphrase), 0);
  const std::string bytes = Bytes();
  Records records;
  EXPECT_EQ(Write({{"a", "b"}}, kUnattended), 11);
  EXPECT_EQ(Read(records, kUnattended), 11);
  EXPECT_EQ(Bytes(), bytes);
  path = dir.File("stores/unattended.store");
  ASSERT_EQ(Write(small, kUnattended), 0);
  EXPECT_EQ(Write({{"a", "b"}}, kPassphrase), 11);
}

TEST_F(StoreTest, EveryFlippedBitIsRefused) {
  // Only the key material (costs, salt, key id, nonce, key check) may read
  // as a wrong key; damage anywhere else must read as an invalid file.
  constexpr std::size_t kKeyMaterialBegin = kOpsLimitOffset;
  constexpr std::size_t kKeyMaterialEnd = kBodyLengthOffset;
  for (const char* passphrase : {kPassphrase, kUnattended}) {
    ASSERT_EQ(Write(small, passphrase, false), 0) << passphrase;
    const std::string good = Bytes();
    for (std::size_t offset = 0; offset < good.size(); ++offset) {
      for (const unsigned char mask : {0x01, 0x80}) {
        SetBytes(good);
        FlipByte(offset, mask);
        Records records;
        const int result = Read(records, passphrase);
        if (offset >= kKeyMaterialBegin && offset < kKeyMaterialEnd) {
          EXPECT_TRUE(result == 2 || result == 13) << offset << " gave " << result;
        } else {
          EXPECT_EQ(result, 2) << offset;
        }
      }
    }
    fs::remove(path);
  }
}

TEST_F(StoreTest, TruncatedEmptyOrExtendedStoreIsInvalid) {
  ASSERT_EQ(Write(small), 0);
  const std::string good = Bytes();
  Records records;
  int mode = 2;
  for (std::size_t size = 0; size < good.size(); ++size) {
    SetBytes(good.substr(0, size));
    EXPECT_EQ(Read(records), 2) << size;
    EXPECT_EQ(Mode(mode), 2) << size;
  }
  SetBytes(good + '\0');
  EXPECT_EQ(Read(records), 2);
}

TEST_F(StoreTest, OversizedOrNonRegularStoreIsInvalid) {
  ASSERT_EQ(Write(small), 0);
  fs::resize_file(path, (std::uintmax_t{256} << 20) + 1);  // sparse: refused before reading
  Records records;
  EXPECT_EQ(Read(records), 2);
  fs::remove(path);
  fs::create_directory(path);
  EXPECT_EQ(Read(records), 2);
  EXPECT_EQ(Write(small), 2);
}

TEST_F(StoreTest, FutureVersionIsInvalidAndNotOverwritten) {
  ASSERT_EQ(Write(small), 0);
  std::string bytes = Bytes();
  bytes[kVersionOffset] = 2;
  SetBytes(bytes);
  Records records;
  int mode = 2;
  EXPECT_EQ(Mode(mode), 2);
  EXPECT_EQ(Read(records), 2);
  EXPECT_EQ(Write(small), 2);
  EXPECT_EQ(Bytes(), bytes);
}

TEST_F(StoreTest, UnknownModeIsInvalid) {
  ASSERT_EQ(Write(small), 0);
  std::string bytes = Bytes();
  bytes[kModeOffset] = 2;
  SetBytes(bytes);
  int mode = 2;
  EXPECT_EQ(Mode(mode), 2);
}

TEST_F(StoreTest, HugeCostsAreRefusedWithoutDeriving) {
  ASSERT_EQ(Write(small), 0);
  const std::string good = Bytes();
  const unsigned long long before = EnDecryptKeyDerivationCount();
  Records records;
  std::string bytes = good;
  PutLittleEndian(bytes, kMemLimitOffset, std::uint64_t{1} << 40, 8);
  SetBytes(bytes);
  EXPECT_EQ(Read(records), 2);
  bytes = good;
  PutLittleEndian(bytes, kMemLimitOffset, (std::uint64_t{1} << 30) + 1, 8);
  SetBytes(bytes);
  EXPECT_EQ(Read(records), 2);
  bytes = good;
  PutLittleEndian(bytes, kOpsLimitOffset, 11, 4);
  SetBytes(bytes);
  EXPECT_EQ(Read(records), 2);
  EXPECT_EQ(EnDecryptKeyDerivationCount(), before);
}

TEST_F(StoreTest, UnusableConfiguredCostsAreRefused) {
  for (const char* settings : {"ENCRYPT_KDF_MEMLIMIT=1024\n", "ENCRYPT_KDF_OPSLIMIT=11\n",
                               "ENCRYPT_KDF_OPSLIMIT=three\n"}) {
    Configure(settings);
    EXPECT_EQ(Write(small), 6) << settings;
    EXPECT_FALSE(fs::exists(path));
  }
}

#if !defined(_WIN32)
TEST_F(StoreTest, FailedWriteLeavesOldStoreAndNoTemporary) {
  const auto write_capped = [this](const Records& records) {
    return RunInChild([&] {
      ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
      const rlimit limit{4096, 4096};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      return Write(records);
    });
  };
  const Records large{{"large", std::string(8192, 'x')}};
  EXPECT_EQ(write_capped(large), 3);  // a new store
  EXPECT_TRUE(FolderEntries(dir.File("stores")).empty());
  ASSERT_EQ(Write(small), 0);
  const std::string bytes = Bytes();
  EXPECT_EQ(write_capped(large), 3);  // an existing store
  EXPECT_EQ(Bytes(), bytes);
  EXPECT_EQ(FolderEntries(dir.File("stores")), std::vector<std::string>{"settings.store"});
}
#else
TEST_F(StoreTest, FailedWriteLeavesOldStoreAndNoTemporary) {
  ASSERT_EQ(Write(small), 0);
  const std::string bytes = Bytes();
  {
    // Another program holds the store open without sharing deletion, as a
    // backup or a virus scanner may: the store can be read but not replaced.
    const ScopedHandle held(::CreateFileW(fs::path(path).wstring().c_str(), GENERIC_READ,
                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.valid());
    EXPECT_EQ(Write({{"large", std::string(8192, 'x')}}), 3);
  }
  EXPECT_EQ(Bytes(), bytes);
  // No temporary is left; the writers' lock file stays for the next writer.
  const std::vector<std::string> entries = FolderEntries(dir.File("stores"));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(fs::path(entries[0]).extension(), ".lock");
  EXPECT_EQ(entries[1], "settings.store");
  // Neither is the writers' lock.
  EXPECT_EQ(Write({{"later", "x"}}), 0);
}
#endif

// Administration of an existing store: inspect, remove, rekey.

TEST_F(StoreTest, InspectAndListKeysAuthenticateTheWholeStore) {
  ASSERT_EQ(Write(small), 0);
  std::vector<std::string> keys{"stale"};
  ASSERT_EQ(Store().ListKeys(path, kPassphrase, keys), 0);
  EXPECT_EQ(keys, (std::vector<std::string>{"password", "user"}));
  EnDecrypt::StoreInfo info;
  ASSERT_EQ(Store().Inspect(path, kPassphrase, info), 0);
  EXPECT_EQ(info.mode, 0);
  EXPECT_EQ(info.record_count, small.size());
  EXPECT_EQ(info.opslimit, 1u);
  EXPECT_EQ(info.memlimit, 8192u);
  // A flipped body byte is found although the header still decodes.
  FlipByte(Bytes().size() - 1, 0x01);
  EnDecrypt::StoreInfo untouched;
  untouched.record_count = 99;
  EXPECT_EQ(Store().Inspect(path, kPassphrase, untouched), 2);
  EXPECT_EQ(untouched.record_count, 99u);
  EXPECT_EQ(Store().ListKeys(path, kPassphrase, keys), 2);
  EXPECT_EQ(keys.size(), 2u);
}

TEST_F(StoreTest, RemoveDropsOnlyStoredKeysAndRefusesTheRest) {
  for (const char* passphrase : {kPassphrase, kUnattended}) {
    path = dir.File(std::string("stores/") + (*passphrase ? "attended" : "unattended"));
    ASSERT_EQ(Write({{"a", "1"}, {"b", "2"}, {"c", "3"}}, passphrase), 0);
    ASSERT_EQ(Store().Remove(path, {"c", "a"}, passphrase), 0);
    EXPECT_EQ(ReadOk(passphrase), (Records{{"b", "2"}}));
    const std::string bytes = Bytes();
    // One absent key refuses the whole call: 14, 13 and 11 leave the bytes.
    EXPECT_EQ(Store().Remove(path, {"b", "a"}, passphrase), 14);
    EXPECT_EQ(Store().Remove(path, {"b"}, *passphrase ? "wrong passphrase" : kPassphrase),
              *passphrase ? 13 : 11);
    EXPECT_EQ(Bytes(), bytes);
  }
  EXPECT_EQ(Store().Remove(dir.File("stores/absent"), {"a"}, kPassphrase), 7);
}

TEST_F(StoreTest, RekeyResealsUnderTheNewKeyInEveryDirection) {
  const std::string other = "another passphrase";
  struct Case {
    const char* from;
    std::string to;
    int mode_after;
  };
  for (const Case& step : {Case{kPassphrase, other, 0}, Case{kPassphrase, kUnattended, 1},
                           Case{kUnattended, kUnattended, 1}, Case{kUnattended, other, 0}}) {
    fs::remove(path);
    ASSERT_EQ(Write(small, step.from), 0);
    const std::string before = Bytes();
    ASSERT_EQ(Store().Rekey(path, step.from, step.to), 0) << step.from << "->" << step.to;
    EXPECT_NE(Bytes().substr(kSaltOffset, kSaltSize), before.substr(kSaltOffset, kSaltSize));
    EXPECT_EQ(ReadOk(step.to), small);
    int mode = 2;
    ASSERT_EQ(Mode(mode), 0);
    EXPECT_EQ(mode, step.mode_after);
    Records records;
    if (*step.from && step.to != step.from) {
      EXPECT_NE(Read(records, step.from), 0);
    }
  }
  const std::string bytes = Bytes();
  EXPECT_EQ(Store().Rekey(path, kPassphrase, other), 13);
  EXPECT_EQ(Store().Rekey(path, kUnattended, other), 11);
  EXPECT_EQ(Bytes(), bytes);
}

#if !defined(_WIN32)
TEST_F(StoreTest, RemoveAndRekeyRacingWritersLoseNothing) {
  constexpr int kWriters = 3;
  constexpr int kWritesEach = 5;
  Records initial = store_writer::ManyRecords("old", 20);
  ASSERT_EQ(Write(initial, kUnattended), 0);
  std::vector<pid_t> children;
  for (int writer = 0; writer < kWriters; ++writer) {
    const pid_t child = ::fork();
    if (child == 0) {
      for (int i = 0; i < kWritesEach; ++i) {
        if (Write({{AddedKey(writer, i), "v"}}, kUnattended) != 0) ::_exit(1);
      }
      ::_exit(0);
    }
    children.push_back(child);
  }
  const int admin = RunInChild([&] {
    for (int i = 0; i < 10; ++i) {
      if (Store().Remove(path, {"old" + std::to_string(i)}, kUnattended) != 0) return 1;
      if (Store().Rekey(path, kUnattended, kUnattended) != 0) return 2;
    }
    return 0;
  });
  EXPECT_EQ(admin, 0);
  for (const pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const Records stored = ReadOk(kUnattended);
  EXPECT_EQ(stored.size(), initial.size() - 10 + kWriters * kWritesEach);
  EXPECT_EQ(stored.count("old0"), 0u);
  EXPECT_EQ(stored.count("old19"), 1u);
}

TEST_F(StoreTest, KilledRekeyLeavesTheOldOrTheNewStore) {
  constexpr int kKills = 20;
  const std::string other = "another passphrase";
  const Records first = FirstStore();
  ASSERT_EQ(Write(first), 0);
  std::mt19937 random(20261206);
  for (int kill = 0; kill < kKills; ++kill) {
    const pid_t child = ::fork();
    if (child == 0) {
      for (int i = 0;; ++i) {
        static_cast<void>(Store().Rekey(path, i % 2 == 0 ? kPassphrase : other,
                                        i % 2 == 0 ? other : kPassphrase));
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 5000));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    Records stored;
    if (Read(stored, kPassphrase) != 0) {
      EXPECT_EQ(Read(stored, other), 0) << "after kill " << kill;
    }
    EXPECT_EQ(stored, first) << "after kill " << kill;
  }
}
#endif

}  // namespace
