// How the host key rests on disk: sealed key files that do not parse, and
// on Linux the TPM seal against software TPMs that each test starts on a
// loopback port with a state folder of its own (skipped when swtpm is
// absent), on Windows the DPAPI seal.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tss2/tss2_esys.h>
#include <tss2/tss2_tctildr.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "host/EnDecrypt.h"
#include "host/GlobalConfig.h"
#include "suite/endecrypt/HostKeySealing.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = boost::filesystem;
using Records = std::map<std::string, std::string>;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr int kOk = endecrypt_status::kOk;
constexpr int kNoCredential = endecrypt_status::kNoCredential;
constexpr int kBadConfiguration = endecrypt_status::kBadConfiguration;
constexpr std::size_t kKeySize = 32;
// The sealed key file's header, as docs/store-format.md fixes it.
constexpr char kSealedMagic[] = "KVXHOSTK";

struct ConfigReload {
  ~ConfigReload() { ZUdurov::GlobalConfig::Reload(); }
};

class HostKeyTest : public testing::Test {
 protected:
  HostKeyTest() { Configure(""); }

  void Configure(const std::string& settings) {
    WriteFile(dir.File("global.config"), settings + "ENCRYPT_HOST_KEY_PATH=" + host_key + "\n");
    ZUdurov::GlobalConfig::Reload();
  }
  // Puts `bytes` at the host key's path as an owner-only file in an
  // owner-only folder, as a trusted key file must be.
  void SetKeyFile(const std::string& bytes) {
    fs::create_directories(fs::path(host_key).parent_path());
    WriteFile(host_key, bytes);
#if !defined(_WIN32)
    ::chmod(fs::path(host_key).parent_path().string().c_str(), 0700);
    ::chmod(host_key.c_str(), 0600);
#endif
  }
  static int Write(const std::string& path) {
    return EnDecrypt::GetInstance()->Encrypt({{"user", "admin"}}, path, "", true);
  }
  static int Read(const std::string& path) {
    Records records;
    return EnDecrypt::GetInstance()->Decrypt(path, records, "");
  }
  bool IsSealed() const {
    return ReadFile(host_key).compare(0, sizeof(kSealedMagic) - 1, kSealedMagic) == 0;
  }

  testing_support::ScopedTempDir dir;
  ConfigReload reload;
  testing_support::ScopedEnv config_file{"KELVOX_GLOBAL_CONFIG", dir.File("global.config")};
  std::string host_key = dir.File("keys/host.key");
  std::string store = dir.File("stores/unattended.store");
};

// Settings nobody can act on are refused before any key is made, and key
// files that are neither a plain key nor a sealed one that parses are no
// key: the store is left as it was in every case.
TEST_F(HostKeyTest, UnusableSettingsAndUnparsableKeyFilesAreRefused) {
  ASSERT_EQ(Write(store), kOk);
  const std::string stored = ReadFile(store);
  const std::string key = ReadFile(host_key);
#if defined(_WIN32)
  const char* foreign = "tpm2";
#else
  const char* foreign = "dpapi";
#endif
  const std::string header = std::string(kSealedMagic, 8) + "\x01";
  const struct {
    std::string settings;
    std::string key_file;  // empty: the plain key stays
    int status;
  } cases[] = {
      {"ENCRYPT_HOST_KEY_PROTECTION=TPM2\n", "", kBadConfiguration},
      {"ENCRYPT_TPM2_PCRS=24\n", "", kBadConfiguration},
      {"ENCRYPT_TPM2_PCRS=7,\n", "", kBadConfiguration},
      {"ENCRYPT_TPM2_PCRS=7;8\n", "", kBadConfiguration},
      {"", key + "x", kNoCredential},                                    // neither plain nor sealed
      {"", std::string(kSealedMagic, 8) + "\x02\x01" + key, kNoCredential},  // unknown version
      {"", header + "\x07" + key, kNoCredential},                          // unknown protection
      {"", header + "\x01" + key, kNoCredential},                          // tpm2 blob garbled
      {"", header + "\x02" + key, kNoCredential},                          // dpapi blob garbled
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings + std::to_string(c.key_file.size()));
    Configure(c.settings);
    SetKeyFile(c.key_file.empty() ? key : c.key_file);
    EXPECT_EQ(Read(store), c.status);
    EXPECT_EQ(Write(store), c.status);
    EXPECT_EQ(ReadFile(store), stored);
  }
  // A key file is never made under a protection this system lacks.
  Configure(std::string("ENCRYPT_HOST_KEY_PROTECTION=") + foreign + "\n");
  fs::remove(host_key);
  EXPECT_EQ(Write(dir.File("stores/new.store")), kBadConfiguration);
  EXPECT_FALSE(fs::exists(host_key));
}

#if !defined(_WIN32)

constexpr int kSwtpmStartAttempts = 5;
constexpr auto kSwtpmStartTimeout = std::chrono::seconds(10);
constexpr ESYS_TR kResettablePcr = ESYS_TR_PCR16;
constexpr char kResettablePcrIndex[] = "16";

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= folders.size()) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const std::string candidate = folders.substr(start, end - start) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

bool CanBind(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return bound;
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected =
      ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return connected;
}

// A software TPM on two free loopback ports (commands, and control on the
// next port, where the swtpm TCTI looks for it) with fresh state of its
// own, stopped and removed on destruction.
class SoftwareTpm {
 public:
  SoftwareTpm() {
    const std::string program = FindProgram("swtpm");
    if (program.empty()) return;
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < kSwtpmStartAttempts && pid < 0; ++attempt) {
      const int candidate = std::uniform_int_distribution<int>(20000, 60000)(random);
      if (CanBind(candidate) && CanBind(candidate + 1)) Start(program, candidate);
    }
  }
  SoftwareTpm(const SoftwareTpm&) = delete;
  SoftwareTpm& operator=(const SoftwareTpm&) = delete;
  ~SoftwareTpm() { Stop(); }

  bool running() const { return pid > 0; }
  std::string Tcti() const { return "swtpm:host=127.0.0.1,port=" + std::to_string(port); }

  void Stop() {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
  }

  // Extends `pcr` (SHA-256 bank) with a digest, as a boot step would.
  bool ExtendPcr(ESYS_TR pcr) const {
    TSS2_TCTI_CONTEXT* tcti = nullptr;
    ESYS_CONTEXT* esys = nullptr;
    bool extended = Tss2_TctiLdr_Initialize(Tcti().c_str(), &tcti) == TSS2_RC_SUCCESS &&
                    Esys_Initialize(&esys, tcti, nullptr) == TSS2_RC_SUCCESS;
    TPML_DIGEST_VALUES digests = {};
    digests.count = 1;
    digests.digests[0].hashAlg = TPM2_ALG_SHA256;
    digests.digests[0].digest.sha256[0] = 1;
    extended = extended && Esys_PCR_Extend(esys, pcr, ESYS_TR_PASSWORD, ESYS_TR_NONE,
                                           ESYS_TR_NONE, &digests) == TSS2_RC_SUCCESS;
    if (esys != nullptr) Esys_Finalize(&esys);
    if (tcti != nullptr) Tss2_TctiLdr_Finalize(&tcti);
    return extended;
  }

 private:
  void Start(const std::string& program, int candidate) {
    const std::string server = "type=tcp,port=" + std::to_string(candidate) + ",bindaddr=127.0.0.1";
    const std::string control =
        "type=tcp,port=" + std::to_string(candidate + 1) + ",bindaddr=127.0.0.1";
    const std::string state = "dir=" + state_dir.path().string();
    const pid_t child = ::fork();
    if (child == 0) {
      ::execl(program.c_str(), program.c_str(), "socket", "--tpm2", "--server", server.c_str(),
              "--ctrl", control.c_str(), "--tpmstate", state.c_str(), "--flags",
              "not-need-init,startup-clear", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (child < 0) return;
    const auto deadline = std::chrono::steady_clock::now() + kSwtpmStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (::waitpid(child, nullptr, WNOHANG) == child) return;  // it could not start
      if (Accepts(candidate)) {
        pid = child;
        port = candidate;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }

  testing_support::ScopedTempDir state_dir;
  pid_t pid = -1;
  int port = 0;
};

class Tpm2Test : public HostKeyTest {
 protected:
  void SetUp() override {
    if (!tpm.running()) GTEST_SKIP() << "swtpm is not installed or does not start";
    UseTpm(tpm, "");
  }
  void UseTpm(const SoftwareTpm& which, const std::string& more) {
    Configure("ENCRYPT_HOST_KEY_PROTECTION=tpm2\nENCRYPT_TPM2_TCTI=" + which.Tcti() + "\n" + more);
  }

  SoftwareTpm tpm;
};

// A key made under tpm2 rests sealed and opens its stores again; a plain
// key sealed in place keeps its stores, shows nowhere in the sealed file,
// and comes back byte for byte when turned into a plain file again.
TEST_F(Tpm2Test, SealedKeyOpensItsStoresAndMovesBothWays) {
  ASSERT_EQ(Write(store), kOk);
  EXPECT_TRUE(IsSealed());
  EXPECT_EQ(Read(store), kOk);

  const std::string key(kKeySize, '\x5c');
  fs::remove(host_key);
  SetKeyFile(key);
  const std::string plain_store = dir.File("stores/plain.store");
  ASSERT_EQ(Write(plain_store), kOk);
  ASSERT_EQ(EnDecryptSealHostKeyInPlace(), kOk);
  const std::string sealed = ReadFile(host_key);
  EXPECT_TRUE(IsSealed());
  EXPECT_EQ(sealed.find(key), std::string::npos);
  EXPECT_EQ(Read(plain_store), kOk);
  Configure("ENCRYPT_HOST_KEY_PROTECTION=file\nENCRYPT_TPM2_TCTI=" + tpm.Tcti() + "\n");
  ASSERT_EQ(EnDecryptSealHostKeyInPlace(), kOk);
  EXPECT_EQ(ReadFile(host_key), key);
  EXPECT_EQ(Read(plain_store), kOk);
}

// Another TPM, changed PCRs, or a TPM gone mid-run: no key (1), and
// neither the store nor the key file is touched.
TEST_F(Tpm2Test, KeyDoesNotOpenWithoutItsTpmAndPcrs) {
  SoftwareTpm other;
  ASSERT_TRUE(other.running());
  UseTpm(tpm, std::string("ENCRYPT_TPM2_PCRS=") + kResettablePcrIndex + "\n");
  ASSERT_EQ(Write(store), kOk);
  ASSERT_EQ(Read(store), kOk);
  const std::string stored = ReadFile(store);
  const std::string sealed = ReadFile(host_key);
  const std::function<void()> faults[] = {
      [&] { UseTpm(other, ""); },
      [&] { ASSERT_TRUE(tpm.ExtendPcr(kResettablePcr)); },
      [&] { tpm.Stop(); },
  };
  for (const auto& fault : faults) {
    fault();
    EXPECT_EQ(Read(store), kNoCredential);
    EXPECT_EQ(Write(store), kNoCredential);
    EXPECT_EQ(EnDecryptSealHostKeyInPlace(), kNoCredential);
    EXPECT_EQ(ReadFile(store), stored);
    EXPECT_EQ(ReadFile(host_key), sealed);
    UseTpm(tpm, "");
  }
}

#else  // _WIN32

// DPAPI in machine scope: a key made under it rests sealed and opens its
// stores again; one changed byte of the blob and it opens nothing.
TEST_F(HostKeyTest, DpapiSealedKeyOpensItsStoresAndRefusesChanges) {
  Configure("ENCRYPT_HOST_KEY_PROTECTION=dpapi\n");
  ASSERT_EQ(Write(store), kOk);
  EXPECT_TRUE(IsSealed());
  EXPECT_EQ(Read(store), kOk);
  std::string sealed = ReadFile(host_key);
  sealed[sealed.size() / 2] = static_cast<char>(sealed[sealed.size() / 2] ^ 1);
  SetKeyFile(sealed);
  EXPECT_EQ(Read(store), kNoCredential);
}

#endif  // _WIN32

}  // namespace
