// The encrypted record store through its public interface, on real files,
// with writers in processes of their own.
#include <gtest/gtest.h>
#include <sodium.h>
#if defined(_WIN32)
#include <windows.h>
// aclapi.h and sddl.h need the declarations of windows.h.
#include <aclapi.h>
#include <sddl.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <boost/dll/runtime_symbol_info.hpp>

#include "host/EnDecrypt.h"
#include "suite/endecrypt/StoreEngine.h"
#include "suite/platform/Files.h"
#include "suite/platform/GuardedMemory.h"
#include "tests/store/StoreWriter.h"
#include "tests/support/TestSupport.h"

#if !defined(_WIN32)
// Every fsync of the process comes here first (the executable's definition
// wins over the C library's): notes which regular files were synced.
std::mutex synced_mutex;
std::set<std::pair<dev_t, ino_t>> synced_files;
extern "C" __attribute__((visibility("default"))) int fsync(int fd) {
  struct stat status;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    const std::lock_guard<std::mutex> lock(synced_mutex);
    synced_files.insert({status.st_dev, status.st_ino});
  }
  return static_cast<int>(::syscall(SYS_fsync, fd));
}
#endif

namespace {

namespace fs = boost::filesystem;
namespace status = endecrypt_status;
using Records = std::map<std::string, std::string>;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr char kPassphrase[] = "correct horse";
constexpr char kUnattended[] = "";
// The cheapest costs libsodium allows: these tests derive keys hundreds of times.
constexpr std::uint32_t kCheapOpsLimit = 1;
constexpr std::uint64_t kCheapMemLimit = 8192;
// The same costs as configuration, which the writer processes read.
const std::string kCheapSettings = "ENCRYPT_KDF_OPSLIMIT=" + std::to_string(kCheapOpsLimit) +
                                   "\nENCRYPT_KDF_MEMLIMIT=" + std::to_string(kCheapMemLimit) +
                                   "\n";

// Header layout, as docs/store-format.md fixes it.
constexpr std::size_t kOpsLimitOffset = 10;
constexpr std::size_t kMemLimitOffset = 14;
constexpr std::size_t kSaltOffset = 22;
constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kBodyLengthOffset = 86;

// Stores of format version 1 holding "k" -> "v": one written with
// kPassphrase at costs 1 and 8192, one unattended under kSavedHostKey.
constexpr char kAttendedStore[] =
    "4b565853544f52450100010000000020000000000000c451e026be31ccba5690835575a9fff7"
    "000000000000000076c89e95bea115ac5fd93ef34e75da466052feba7d3610d0526e9aba4056"
    "54bc551944f10bfedb8e1e000000000000002966527c60a04b0999bbd40baf228d49a98629ac"
    "3a9c906abb9e7bdc72bc";
constexpr char kUnattendedStore[] =
    "4b565853544f52450101000000000000000000000000628b4b99aa0cd8e7623925e7e33b7d64"
    "1a63b67ae9f3239dfbb420e80036dd87ba77e1c5f0790576509e4b4f1198493b02e9ed222040"
    "bf22de31c9a00a84a7311e00000000000000e518258441ae70e1d16ccfb9d7ea7c12f161d896"
    "7cc0b13bf145b527aaca";
constexpr char kSavedHostKey[] =
    "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

void PutLittleEndian(std::string& bytes, std::size_t offset, std::uint64_t value,
                     std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

std::uint64_t GetLittleEndian(const std::string& bytes, std::size_t offset, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = size; i-- > 0;)
    value = value << 8 | static_cast<std::uint8_t>(bytes[offset + i]);
  return value;
}

// The entries of `folder` but for the writers' lock files kept there.
std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const fs::path& entry : fs::directory_iterator(folder))
    names.push_back(entry.filename().string());
  std::erase_if(names, [](const std::string& name) { return name.ends_with(".lock"); });
  std::sort(names.begin(), names.end());
  return names;
}

// Runs store_writer (store_writer.cpp) from beside this test with
// `arguments` (no quotes in them); its exit status, non-zero when killed.
int RunWriter(const std::vector<std::string>& arguments) {
  std::string command =
      "\"" + (boost::dll::program_location().parent_path() / "store_writer").string() + "\"";
  for (const std::string& argument : arguments) command += " \"" + argument + "\"";
#if defined(_WIN32)
  command = "\"" + command + "\"";  // cmd.exe drops the outer pair
#endif
  return std::system(command.c_str());
}

#if defined(_WIN32)
// The access list lets in exactly the running user and the system.
bool IsOwnerOnly(const std::string& path) {
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  HANDLE token = nullptr;
  alignas(TOKEN_USER) unsigned char user[256];
  DWORD size = sizeof(user);
  unsigned char system[SECURITY_MAX_SID_SIZE];
  DWORD system_size = sizeof(system);
  bool only = ::GetNamedSecurityInfoW(fs::path(path).wstring().c_str(), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION, nullptr, nullptr, &list,
                                      nullptr, &descriptor) == ERROR_SUCCESS &&
              ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) &&
              ::GetTokenInformation(token, TokenUser, user, size, &size) &&
              ::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &system_size) &&
              list != nullptr && list->AceCount == 2;
  int admitted = 0;  // bit 0: the user, bit 1: the system
  for (DWORD i = 0; only && i < list->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* entry = nullptr;
    only = ::GetAce(list, i, reinterpret_cast<void**>(&entry)) &&
           entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE;
    const PSID sid = only ? &entry->SidStart : nullptr;
    admitted |= (sid && ::EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) ? 1 : 0) |
                (sid && ::EqualSid(sid, system) ? 2 : 0);
  }
  if (token != nullptr) ::CloseHandle(token);
  ::LocalFree(descriptor);
  return only && admitted == 3;
}

void SetAccessList(const std::string& path, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR given = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &given,
                                                                     nullptr));
  EXPECT_TRUE(::SetFileSecurityW(fs::path(path).wstring().c_str(), DACL_SECURITY_INFORMATION, given));
  ::LocalFree(given);
}

// The access list of `path` as text, empty when it cannot be read.
std::wstring AccessList(const std::string& path) {
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  wchar_t* text = nullptr;
  std::wstring sddl;
  if (::GetNamedSecurityInfoW(fs::path(path).wstring().c_str(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION, nullptr, nullptr, &list, nullptr,
                              &descriptor) == ERROR_SUCCESS &&
      ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    sddl = text;
  }
  ::LocalFree(text);
  ::LocalFree(descriptor);
  return sddl;
}
#else
bool IsOwnerOnly(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && (status.st_mode & 077) == 0;
}
#endif

class StoreTest : public testing::Test {
 protected:
  StoreTest() {
    // Writers in processes of their own (store_writer) read the
    // configuration: it holds what this process is handed, so that they
    // derive keys as cheaply and find the same host key.
    Configure(kCheapSettings);
    Hand(kCheapOpsLimit, kCheapMemLimit);
  }

  // A new engine handed these costs and the test's host key.
  void Hand(std::uint32_t opslimit, std::uint64_t memlimit) {
    endecrypt::StoreOptions options;
    options.settings.emplace();
    options.settings->costs = {opslimit, memlimit};
    options.settings->host_key_path = host_key;
    Build(options);
  }
  // A new engine that reads `settings` from the configuration instead.
  void Configure(const std::string& settings) {
    config.Set(settings + "ENCRYPT_HOST_KEY_PATH=" + host_key + "\n");
    Build({});
  }
  void Build(const endecrypt::StoreOptions& options) {
    face.reset();
    ASSERT_EQ(endecrypt::StoreEngine::Open(options, engine), status::kOk);
    face = std::make_unique<EnDecrypt>(*engine);
  }
  EnDecrypt& Store() { return *face; }
  StoreStatus Write(const Records& records, const std::string& passphrase = kPassphrase,
                    bool keep_stored = true) {
    return Store().Encrypt(records, path, passphrase, keep_stored);
  }
  StoreStatus Read(Records& records, const std::string& passphrase = kPassphrase) {
    return Store().Decrypt(path, records, passphrase);
  }
  Records ReadOk(const std::string& passphrase = kPassphrase) {
    Records records;
    EXPECT_EQ(Read(records, passphrase), status::kOk);
    return records;
  }
  StoreStatus Mode(EncryptionMode& mode) { return Store().GetFileLastEncryptionMode(path, mode); }
  std::string Bytes() const { return ReadFile(path); }
  std::vector<std::string> StoreFolder() const { return FolderEntries(dir.File("stores")); }
  void SetBytes(const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, bytes);
  }

  testing_support::ScopedTempDir dir;
  testing_support::ScopedConfig config;
  std::string host_key = dir.File("keys/host.key");
  std::string path = dir.File("stores/settings.store");
  std::unique_ptr<endecrypt::StoreEngine> engine;
  std::unique_ptr<EnDecrypt> face;
  Records small{{"user", "admin"}, {"password", "s3cret"}};
};

TEST_F(StoreTest, RoundTripKeepsAnyBytesInOwnerOnlyFilesInBothModes) {
  const Records records{{"", "empty key"},
                        {std::string("nul\0key", 7), std::string("\0\n\r\xff", 4)},
                        {"empty value", ""},
                        {"large", std::string(1 << 20, '\x5a')}};
  for (const char* passphrase : {kPassphrase, kUnattended}) {
    // The unattended store's name: the system's limit (255) less a temporary's additions.
    path = dir.File("stores/" + (*passphrase ? std::string("attended") : std::string(250, 's')));
    ASSERT_EQ(Write(records, passphrase), status::kOk);
    Records read{{"stale", "x"}};
    ASSERT_EQ(Read(read, passphrase), status::kOk);
    EXPECT_EQ(read, records);
  }
  ASSERT_EQ(Write({{"a", "1"}, {"b", "2"}}, kUnattended, false), status::kOk);
  ASSERT_EQ(Write({{"b", "3"}}, kUnattended, true), status::kOk);  // merged
  EXPECT_EQ(ReadOk(kUnattended), (Records{{"a", "1"}, {"b", "3"}}));
  ASSERT_EQ(Write({{"a", "4"}, {"c", "5"}}, kUnattended, true), status::kOk);  // and added to
  EXPECT_EQ(ReadOk(kUnattended), (Records{{"a", "4"}, {"b", "3"}, {"c", "5"}}));
  ASSERT_EQ(Write({{"d", "5"}}, kUnattended, false), status::kOk);  // replaced
  EXPECT_EQ(ReadOk(kUnattended), (Records{{"d", "5"}}));
  EXPECT_EQ(StoreFolder(), (std::vector<std::string>{"attended", fs::path(path).filename().string()}));
  for (const std::string& made : {dir.File("stores"), path, dir.File("keys"), host_key}) {
    EXPECT_TRUE(IsOwnerOnly(made)) << made;  // rewritten too
  }
  EXPECT_EQ(ReadFile(host_key).size(), 32u);
}

TEST_F(StoreTest, UpdatesDeriveOnceAndKeepTheSaltUntilEitherCostChanges) {
  ASSERT_EQ(Write(small), status::kOk);
  const std::string first = Bytes();
  engine->ForgetDerivedKeys();  // as a fresh process would start
  const unsigned long long derivations = engine->GetKeyDerivationCount();
  EncryptionMode mode = kAttendedMode;
  ASSERT_EQ(Mode(mode), status::kOk);  // the command's update sequence
  ReadOk();
  ASSERT_EQ(Write(small), status::kOk);
  EXPECT_EQ(engine->GetKeyDerivationCount(), derivations + 1);
  EXPECT_EQ(first.substr(kSaltOffset, kSaltSize), Bytes().substr(kSaltOffset, kSaltSize));
  EXPECT_NE(first, Bytes());  // a fresh nonce
  for (const std::uint64_t ops : {1, 2}) {  // the memory cost alone, then the passes
    const std::string before = Bytes();
    Hand(static_cast<std::uint32_t>(ops), 16384);
    ASSERT_EQ(Write({{"more", "x"}}), status::kOk);
    const std::string after = Bytes();
    EXPECT_EQ(GetLittleEndian(after, kOpsLimitOffset, 4), ops);
    EXPECT_EQ(GetLittleEndian(after, kMemLimitOffset, 8), 16384u);
    EXPECT_NE(before.substr(kSaltOffset, kSaltSize), after.substr(kSaltOffset, kSaltSize));
    engine->ForgetDerivedKeys();
    EXPECT_EQ(ReadOk().size(), small.size() + 1);
  }
  Configure("");  // the defaults
  ASSERT_EQ(Write(small), status::kOk);
  EXPECT_EQ(GetLittleEndian(Bytes(), kOpsLimitOffset, 4), 3u);
  EXPECT_EQ(GetLittleEndian(Bytes(), kMemLimitOffset, 8), 256u << 20);
  path = dir.File("stores/new.store");
  for (const char* settings : {"ENCRYPT_KDF_MEMLIMIT=1024\n", "ENCRYPT_KDF_OPSLIMIT=11\n",
                               "ENCRYPT_KDF_OPSLIMIT=three\n"}) {
    Configure(settings);
    EXPECT_EQ(Write(small), status::kBadConfiguration) << settings;
    EXPECT_FALSE(fs::exists(path));
  }
}

// What the pre-check decrypted stands in for the store only while the
// store is still that file.
TEST_F(StoreTest, AnUpdateRereadsAStoreReplacedSinceItWasDecrypted) {
  ASSERT_EQ(Write({{"a", "1"}}), status::kOk);
  const std::string older = Bytes();
  ASSERT_EQ(Write({{"b", "2"}}), status::kOk);
  for (const bool replaced : {false, true}) {
    EnDecrypt::ReadForUpdate read;
    Records records;
    ASSERT_EQ(Store().Decrypt(path, records, kPassphrase, &read), status::kOk);
    if (replaced) SetBytes(older);
    ASSERT_EQ(Store().Encrypt({{"c", "3"}}, path, kPassphrase, true, &read), status::kOk);
    EXPECT_EQ(ReadOk(), replaced ? (Records{{"a", "1"}, {"c", "3"}})
                                 : (Records{{"a", "1"}, {"b", "2"}, {"c", "3"}}));
  }
}

TEST_F(StoreTest, SavedStoresOfBothModesStillOpen) {
  SetBytes(FromHex(kAttendedStore));
  EXPECT_EQ(ReadOk(), (Records{{"k", "v"}}));
  // The store makes the key file with the access it trusts; the saved key goes in it.
  ASSERT_EQ(Store().Encrypt(small, dir.File("stores/other"), kUnattended, true), status::kOk);
  WriteFile(host_key, FromHex(kSavedHostKey));
  SetBytes(FromHex(kUnattendedStore));
  EXPECT_EQ(ReadOk(kUnattended), (Records{{"k", "v"}}));
}

TEST_F(StoreTest, ConcurrentWritersLoseNoRecord) {
  constexpr int kWriters = 4;
  constexpr int kWritesEach = 5;
  // Like the writers, this process reads the configuration.
  Configure(kCheapSettings);
  for (const char* passphrase : {kPassphrase, kUnattended}) {
    // No store and no host key yet: the writers also race to create them.
    path = dir.File(std::string("stores/") + (*passphrase ? "attended" : "unattended"));
    std::vector<std::future<int>> writers;
    Records expected;
    for (int writer = 0; writer < kWriters; ++writer) {
      writers.push_back(std::async(std::launch::async, RunWriter, std::vector<std::string>{
          "add", path, passphrase, std::to_string(writer), std::to_string(kWritesEach)}));
      for (int i = 0; i < kWritesEach; ++i) expected[store_writer::AddedKey(writer, i)] = "v";
    }
    for (int i = 0; i < 5; ++i) {  // removes and rekeys racing them drop only their record
      const std::string mine = "mine" + std::to_string(i);
      EXPECT_EQ(Write({{mine, "v"}}, passphrase), status::kOk);
      EXPECT_EQ(Store().Remove(path, {mine}, passphrase), status::kOk);
      EXPECT_EQ(Store().Rekey(path, passphrase, passphrase), status::kOk);
    }
    for (auto& writer : writers) EXPECT_EQ(writer.get(), 0);
    EXPECT_EQ(ReadOk(passphrase), expected);
  }
}

#if !defined(_WIN32)
TEST_F(StoreTest, FailedWriteLeavesOldStoreAndNoTemporary) {
  const auto write_capped = [this](const Records& records) {
    const pid_t child = ::fork();
    if (child == 0) {
      const rlimit limit{4096, 4096};  // the store ignores SIGXFSZ: the write fails with EFBIG
      ::setrlimit(RLIMIT_FSIZE, &limit);
      ::_exit(Write(records).GetCode());
    }
    int code = 0;
    return ::waitpid(child, &code, 0) == child && WIFEXITED(code) ? WEXITSTATUS(code) : -1;
  };
  const Records large{{"large", std::string(8192, 'x')}};
  EXPECT_EQ(write_capped(large), status::kWriteFailed);  // a new store
  EXPECT_TRUE(StoreFolder().empty());
  ASSERT_EQ(Write(small), status::kOk);
  const std::string bytes = Bytes();
  EXPECT_EQ(write_capped(large), status::kWriteFailed);  // an existing store
  EXPECT_EQ(Bytes(), bytes);
  EXPECT_EQ(StoreFolder(), std::vector<std::string>{"settings.store"});
}
#else
TEST_F(StoreTest, FailedWriteLeavesOldStoreAndNoTemporary) {
  ASSERT_EQ(Write(small), status::kOk);
  const std::string bytes = Bytes();
  // Held open without shared deletion, as by a backup: readable, not replaceable.
  const HANDLE held = ::CreateFileW(fs::path(path).wstring().c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Write({{"large", std::string(8192, 'x')}}), status::kWriteFailed);
  ::CloseHandle(held);
  EXPECT_EQ(Bytes(), bytes);
  EXPECT_EQ(StoreFolder(), std::vector<std::string>{"settings.store"});  // no temporary
  EXPECT_EQ(Write({{"later", "x"}}), status::kOk);
}
#endif

// Wrong passphrases and the other mode: see the administration test.
TEST_F(StoreTest, MissingStoresAndWrongHostKeysAreRefusedAndLeaveEverything) {
  path = dir.File("stores/unattended.store");
  Records records{{"kept", "x"}};
  EncryptionMode mode = kAttendedMode;
  EXPECT_EQ(Mode(mode), status::kNotExist);
  EXPECT_EQ(Read(records, kUnattended), status::kNotExist);
  ASSERT_EQ(Write(small, kUnattended), status::kOk);
  WriteFile(host_key, std::string(32, '\x01'));
  EXPECT_EQ(Read(records, kUnattended), status::kWrongPassphrase);
  fs::remove(host_key);
  EXPECT_EQ(Read(records, kUnattended), status::kNoCredential);
  EXPECT_EQ(Write(small, kUnattended), status::kNoCredential);
  // A damaged key file is never replaced: other stores may depend on it.
  WriteFile(host_key, "short");
  path = dir.File("stores/new.store");
  EXPECT_EQ(Write(small, kUnattended), status::kNoCredential);
  EXPECT_EQ(ReadFile(host_key), "short");
  EXPECT_EQ(records, (Records{{"kept", "x"}}));
}

// Damaged headers are invalid before any key is derived; flipped bits
// anywhere are refused.
TEST_F(StoreTest, DamagedStoresAreRefused) {
  std::vector<std::pair<const char*, std::function<void(std::string&)>>> faults = {
      {"extended", [](std::string& b) { b += '\0'; }},
      {"magic", [](std::string& b) { b[0] ^= 1; }},
      {"future version", [](std::string& b) { b[8] = 2; }},
      {"unknown mode", [](std::string& b) { b[9] = 2; }},
      {"memory cost over 1 GiB",
       [](std::string& b) { PutLittleEndian(b, kMemLimitOffset, (1u << 30) + 1, 8); }},
      {"11 passes", [](std::string& b) { PutLittleEndian(b, kOpsLimitOffset, 11, 4); }},
  };
  ASSERT_EQ(Write(small), status::kOk);
  const std::string good = Bytes();
  for (std::size_t size = 0; size < good.size(); ++size) {
    faults.push_back({"truncated", [size](std::string& b) { b.resize(size); }});
  }
  const unsigned long long derivations = engine->GetKeyDerivationCount();
  for (const auto& [what, damage] : faults) {
    std::string bytes = good;
    damage(bytes);
    SetBytes(bytes);
    Records records{{"kept", "x"}};
    EncryptionMode mode = kUnattendedMode;  // not the store's: untouched on failure
    EXPECT_EQ(Read(records), status::kInvalidFile) << what << " " << bytes.size();
    EXPECT_EQ(Mode(mode), status::kInvalidFile) << what << " " << bytes.size();
    EXPECT_EQ(Write(small), status::kInvalidFile) << what << " " << bytes.size();
    EXPECT_EQ(Bytes(), bytes) << what;
    EXPECT_EQ(records, (Records{{"kept", "x"}}));
    EXPECT_EQ(mode, kUnattendedMode);
  }
  EXPECT_EQ(engine->GetKeyDerivationCount(), derivations);
  // Only the key material (costs, salt, key id, nonce, key check) may read
  // as a wrong key; a flip anywhere else reads as an invalid file.
  for (std::size_t bit = 0; bit < 8 * good.size(); bit += 7) {
    std::string bytes = good;
    bytes[bit / 8] = static_cast<char>(bytes[bit / 8] ^ (1 << (bit % 8)));
    SetBytes(bytes);
    Records records;
    const StoreStatus result = Read(records);
    const bool key = bit / 8 >= kOpsLimitOffset && bit / 8 < kBodyLengthOffset;
    EXPECT_TRUE(result == status::kInvalidFile || (key && result == status::kWrongPassphrase))
        << bit << " gave " << result;
  }
  fs::resize_file(path, (std::uintmax_t{256} << 20) + 1);  // sparse: refused before reading
  Records records;
  EXPECT_EQ(Read(records), status::kInvalidFile);
  fs::remove(path);
  fs::create_directory(path);
  EXPECT_EQ(Read(records), status::kInvalidFile);
  EXPECT_EQ(Write(small), status::kInvalidFile);
}

TEST_F(StoreTest, HostKeyOthersCouldPlantOrReadIsRefused) {
  const std::string keys = dir.File("keys");
  const std::pair<const char*, std::function<void()>> cases[] = {
#if defined(_WIN32)
      {"everyone may read it", [&] { SetAccessList(host_key, L"D:P(A;;FA;;;WD)"); }},
  };
#else
      {"group may read it", [&] { ::chmod(host_key.c_str(), 0640); }},
      {"symbolic link",
       [&] { fs::rename(host_key, keys + "/real"); fs::create_symlink("real", host_key); }},
      {"FIFO", [&] { fs::remove(host_key); ::mkfifo(host_key.c_str(), 0600); }},
      {"another owner (others may read it when not root)", [&] {
         const uid_t nobody = 65534;
         EXPECT_EQ(::geteuid() == 0 ? ::chown(host_key.c_str(), nobody, nobody)
                                    : ::chmod(host_key.c_str(), 0604), 0);
       }},
  };
#endif
  for (const auto& [fault, plant] : cases) {
    fs::remove_all(keys);
    fs::remove_all(dir.File("stores"));
    ASSERT_EQ(Write(small, kUnattended), status::kOk) << fault;
    const std::string bytes = Bytes();
    plant();
    Records records;
    // The check the key failed goes with the status, for the command to log.
    for (const StoreStatus& refused : {Read(records, kUnattended), Write({{"more", "x"}}, kUnattended)}) {
      EXPECT_EQ(refused, status::kNoCredential) << fault;
      EXPECT_EQ(refused.GetReason().rfind("host key '" + host_key + "' refused: ", 0), 0u)
          << fault << ": " << refused.GetReason();
    }
    EXPECT_EQ(Bytes(), bytes) << fault;
  }
}

#if !defined(_WIN32)
TEST_F(StoreTest, SpecialFilesAndDanglingLinksFailAtOnce) {
  for (const bool fifo : {true, false}) {
    fs::remove_all(dir.File("stores"));
    fs::create_directories(dir.File("stores"));
    if (fifo) ::mkfifo(path.c_str(), 0600);
    if (!fifo) fs::create_symlink("gone/settings", path);
    const unsigned long long derived = engine->GetKeyDerivationCount();
    // A FIFO would block these forever if it were opened for reading.
    EncryptionMode mode = kAttendedMode;
    Records records;
    const int refused = fifo ? status::kInvalidFile : status::kNotExist;
    EXPECT_EQ(Mode(mode), refused) << fifo;
    EXPECT_EQ(Read(records), refused) << fifo;
    const StoreStatus written = Write(small);
    EXPECT_EQ(written, fifo ? status::kInvalidFile : status::kWriteFailed) << fifo;
    EXPECT_NE(written.GetReason().find("'" + path + "'"), std::string::npos) << written.GetReason();
    EXPECT_EQ(engine->GetKeyDerivationCount(), derived) << fifo;
    EXPECT_EQ(StoreFolder(), std::vector<std::string>{"settings.store"}) << fifo;
  }
}

// A rewrite keeps link, owner, group and mode; the new store and its
// rewrite were each synced before they took the path.
TEST_F(StoreTest, RewriteKeepsLinkOwnerGroupAndModeAndSyncsFirst) {
  const std::string target = dir.File("elsewhere/real.store");
  fs::create_directories(fs::path(target).parent_path());
  fs::create_directories(dir.File("stores"));
  ASSERT_EQ(Store().Encrypt(small, target, kPassphrase, true), status::kOk);
  fs::create_symlink(target, path);
  struct stat before;
  ASSERT_EQ(::stat(target.c_str(), &before), 0);
  // An administrator lets a service account read the store.
  const gid_t group = ::geteuid() == 0 ? 65534 : before.st_gid;  // nobody
  ASSERT_EQ(::chown(target.c_str(), before.st_uid, group), 0);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(Write({{"more", "x"}}), status::kOk);
  struct stat after;
  ASSERT_EQ(::stat(target.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // replaced, not written in place
  EXPECT_EQ(after.st_mode & 0777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, group);
  const std::lock_guard<std::mutex> lock(synced_mutex);
  EXPECT_EQ(synced_files.count({before.st_dev, before.st_ino}), 1u);
  EXPECT_EQ(synced_files.count({after.st_dev, after.st_ino}), 1u);
  EXPECT_EQ(ReadOk().size(), 3u);
  EXPECT_EQ(FolderEntries(dir.File("elsewhere")), std::vector<std::string>{"real.store"});
}

#else
// In a folder whose inherited list admits everyone, plain files written for
// the user (decrypt's output, new or replaced) admit only the user and the
// system; a store's rewrite keeps the access list its owner gave it.
TEST_F(StoreTest, OutputIsOwnerOnlyInAnOpenFolderAndRewritesKeepTheAccessList) {
  const std::string open = dir.File("open");
  fs::create_directories(open);
  SetAccessList(open, L"D:P(A;OICI;FA;;;WD)");
  const std::string output = open + "\\plain.txt";
  const unsigned char text[] = "k=v";
  ASSERT_EQ(platform::CreateFileAtomically(output, text, 3, false), platform::FileResult::kOk);
  EXPECT_TRUE(IsOwnerOnly(output));
  SetAccessList(output, L"D:P(A;;FA;;;WD)");
  ASSERT_EQ(platform::ReplaceFileAtomically(output, text, 3, platform::Replacement::kOwnerOnly),
            platform::FileResult::kOk);
  EXPECT_TRUE(IsOwnerOnly(output));
  ASSERT_EQ(Write(small), status::kOk);
  EXPECT_TRUE(IsOwnerOnly(path));
  SetAccessList(path, L"D:P(A;;FA;;;WD)");  // the owner lets everyone in
  const std::wstring given = AccessList(path);
  ASSERT_EQ(Write({{"more", "x"}}), status::kOk);
  EXPECT_EQ(AccessList(path), given);
  ASSERT_EQ(Store().Rekey(path, kPassphrase, kPassphrase), status::kOk);
  EXPECT_EQ(AccessList(path), given);
  EXPECT_EQ(ReadOk().size(), 3u);
}
#endif

// Each operation, administration included, authenticates the whole store,
// acts in both modes, and leaves the bytes and the caller's data on every
// refusal: a wrong passphrase or host key (13), the other mode (11).
TEST_F(StoreTest, AdminOperationsActOnlyOnAnAuthenticStoreUnderTheRightKey) {
  const std::string other = "another passphrase";
  for (const char* passphrase : {kPassphrase, kUnattended}) {
    const std::string to = *passphrase ? kUnattended : other;  // rekey across modes
    path = dir.File(std::string("stores/") + (*passphrase ? "attended" : "unattended"));
    ASSERT_EQ(Write({{"a", "1"}, {"b", "2"}, {"c", "3"}}, passphrase), 0);
    std::vector<std::string> keys{"stale"};
    EnDecrypt::StoreInfo info;
    ASSERT_EQ(Store().ListKeys(path, passphrase, keys), 0);
    EXPECT_EQ(keys, (std::vector<std::string>{"a", "b", "c"}));
    ASSERT_EQ(Store().Inspect(path, passphrase, info), 0);
    EXPECT_EQ(info.mode, *passphrase ? kAttendedMode : kUnattendedMode);
    EXPECT_EQ(info.record_count, 3u);
    EXPECT_EQ(info.opslimit, *passphrase ? 1u : 0u);  // an unattended store has no costs
    EXPECT_EQ(info.memlimit, *passphrase ? 8192u : 0u);
    ASSERT_EQ(Store().Remove(path, {"c", "a"}, passphrase), 0);
    const std::string salt = Bytes().substr(kSaltOffset, kSaltSize);
    ASSERT_EQ(Store().Rekey(path, passphrase, to), 0);
    EXPECT_NE(Bytes().substr(kSaltOffset, kSaltSize), salt);
    EXPECT_EQ(ReadOk(to), (Records{{"b", "2"}}));
    EncryptionMode mode = to.empty() ? kAttendedMode : kUnattendedMode;
    ASSERT_EQ(Mode(mode), 0);
    EXPECT_EQ(mode, to.empty() ? kUnattendedMode : kAttendedMode);
    const std::string refused = to.empty() ? kPassphrase : "wrong";
    const int refusal = to.empty() ? 11 : 13;
    const std::string bytes = Bytes();
    Records records{{"kept", "x"}};
    EXPECT_EQ(Read(records, refused), refusal);
    EXPECT_EQ(records, (Records{{"kept", "x"}}));
    EXPECT_EQ(Write({{"a", "b"}}, refused), refusal);
    EXPECT_EQ(Store().Remove(path, {"b", "a"}, to), 14);  // one absent key refuses all
    EXPECT_EQ(Store().Remove(path, {"b"}, refused), refusal);
    EXPECT_EQ(Store().Rekey(path, refused, other), refusal);
    EXPECT_EQ(Store().Inspect(path, refused, info), refusal);
    EXPECT_EQ(Bytes(), bytes);
    std::string flipped = bytes;  // the header still decodes
    flipped.back() ^= 0x01;
    SetBytes(flipped);
    info.record_count = 99;
    EXPECT_EQ(Store().Inspect(path, to, info), 2);
    EXPECT_EQ(Store().ListKeys(path, to, keys), 2);
    EXPECT_EQ(Store().Remove(path, {"b"}, to), 2);
    EXPECT_EQ(info.record_count, 99u);
    EXPECT_EQ(keys.size(), 3u);
    EXPECT_EQ(Bytes(), flipped);
  }
  EXPECT_EQ(Store().Remove(dir.File("stores/absent"), {"a"}, kPassphrase), 7);
}

}  // namespace
