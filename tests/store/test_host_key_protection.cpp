// How the host key rests on disk: unparsable sealed key files, the TPM seal
// against a software TPM per test (skipped without swtpm), the DPAPI seal.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#include <tss2/tss2_esys.h>
#include <unistd.h>

#include <csignal>
#endif

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/EnDecrypt.h"
#include "suite/endecrypt/HostKeyAdmin.h"
#include "tests/support/TestSupport.h"
#if !defined(_WIN32)
#include "tests/store/SoftwareTpm.h"
#include "tests/store/TpmRelay.h"
#include "tests/support/FreedMemory.h"
#endif

namespace {

namespace fs = boost::filesystem;
using Records = std::map<std::string, std::string>;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr int kOk = endecrypt_status::kOk;
constexpr int kNoCredential = endecrypt_status::kNoCredential;
constexpr int kBadConfiguration = endecrypt_status::kBadConfiguration;
// The sealed key file's header, as docs/store-format.md fixes it.
constexpr char kSealedMagic[] = "KVXHOSTK";

class HostKeyTest : public testing::Test {
 protected:
  HostKeyTest() { Configure(""); }

  void Configure(const std::string& settings) {
    config.Set(settings + "ENCRYPT_HOST_KEY_PATH=" + host_key + "\n");
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
  static StoreStatus Write(const std::string& path) {
    return EnDecrypt::GetInstance()->Encrypt({{"user", "admin"}}, path, "", true);
  }
  static StoreStatus Read(const std::string& path) {
    Records records;
    return EnDecrypt::GetInstance()->Decrypt(path, records, "");
  }
  bool IsSealed() const {
    return ReadFile(host_key).compare(0, sizeof(kSealedMagic) - 1, kSealedMagic) == 0;
  }

  testing_support::ScopedTempDir dir;
  testing_support::ScopedConfig config;
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
  // Settings (the plain key stays), or a key file (the settings are the defaults).
  const std::pair<std::string, std::string> cases[] = {
      {"ENCRYPT_HOST_KEY_PROTECTION=TPM2\n", key},
      {"ENCRYPT_TPM2_PCRS=24\n", key},
      {"ENCRYPT_TPM2_PCRS=7,\n", key},
      {"ENCRYPT_TPM2_TIMEOUT_MS=0\n", key},
      {"", key + "x"},                                           // neither plain nor sealed
      {"", std::string(kSealedMagic, 8) + "\x03\x01" + key},  // unknown version
      {"", header + "\x07" + key},                              // unknown protection
      {"", header + "\x01" + key},                              // tpm2 blob garbled
      {"", header + "\x02" + key},                              // dpapi blob garbled
  };
  for (const auto& [settings, key_file] : cases) {
    SCOPED_TRACE(settings + std::to_string(key_file.size()));
    Configure(settings);
    SetKeyFile(key_file);
    const int status = settings.empty() ? kNoCredential : kBadConfiguration;
    EXPECT_EQ(Read(store), status);
    EXPECT_EQ(Write(store), status);
    EXPECT_EQ(ReadFile(store), stored);
  }
  // A key file is never made under a protection this system lacks.
  Configure(std::string("ENCRYPT_HOST_KEY_PROTECTION=") + foreign + "\n");
  fs::remove(host_key);
  EXPECT_EQ(Write(dir.File("stores/new.store")), kBadConfiguration);
  EXPECT_FALSE(fs::exists(host_key));
}

#if !defined(_WIN32)

constexpr ESYS_TR kResettablePcr = ESYS_TR_PCR16;
constexpr char kResettablePcrIndex[] = "16";
// Where a sealed file records the primary key's Name: after the header and
// the PCR mask, a big-endian size and the Name.
constexpr std::size_t kNameSizeAt = 10 + 4;
constexpr std::size_t kRecordedNameByte = kNameSizeAt + 2 + 8;
// More runs than swtpm has slots for transient objects or sessions (3).
constexpr int kRunsPastTpmSlots = 6;

std::size_t BigEndian16(const std::string& bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]) * 256u + static_cast<unsigned char>(bytes[at + 1]);
}

using testing_support::SoftwareTpm;
using testing_support::TpmRelay;

class Tpm2Test : public HostKeyTest {
 protected:
  void SetUp() override {
    if (!tpm.running()) GTEST_SKIP() << "swtpm is not installed or does not start";
    UseTpm(tpm, "");
  }
  template <typename Tpm>
  void UseTpm(const Tpm& which, const std::string& more) {
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

  const std::string key(32, '\x5c');
  fs::remove(host_key);
  SetKeyFile(key);
  const std::string plain_store = dir.File("stores/plain.store");
  ASSERT_EQ(Write(plain_store), kOk);
  ASSERT_EQ(EnDecryptSealHostKeyAs(""), kOk);
  const std::string sealed = ReadFile(host_key);
  EXPECT_TRUE(IsSealed());
  EXPECT_EQ(sealed.find(key), std::string::npos);
  EXPECT_EQ(Read(plain_store), kOk);
  Configure("ENCRYPT_HOST_KEY_PROTECTION=file\nENCRYPT_TPM2_TCTI=" + tpm.Tcti() + "\n");
  ASSERT_EQ(EnDecryptSealHostKeyAs(""), kOk);
  EXPECT_EQ(ReadFile(host_key), key);
  EXPECT_EQ(Read(plain_store), kOk);
}

// An unseal leaves no copy of the key in what the TSS (C free()) or we
// (operator delete) release.
TEST_F(Tpm2Test, UnsealLeavesNoKeyInFreedMemory) {
  if (!FreedMemoryWatch::WatchesCFree()) GTEST_SKIP() << "the address sanitizer owns free()";
  const std::string key = "host key sought in freed memory.";
  SetKeyFile(key);
  ASSERT_EQ(Write(store), kOk);
  ASSERT_EQ(EnDecryptSealHostKeyAs(""), kOk);
  const FreedMemoryWatch watch(key);
  EXPECT_EQ(Read(store), kOk);
  EXPECT_EQ(watch.Hits(), 0);
}

// Another TPM, a recorded primary key that is not the TPM's, a TPM that
// never answers, or stops answering in the middle of a command, changed
// PCRs, or a TPM gone mid-run: no key (1), and neither the store nor the
// key file is touched.
TEST_F(Tpm2Test, KeyDoesNotOpenWithoutItsTpmAndPcrs) {
  SoftwareTpm other;
  ASSERT_TRUE(other.running());
  const TpmRelay silent(0, 0, false);
  const TpmRelay falls_silent(tpm.Port(), 1, true);
  const std::string short_wait = "ENCRYPT_TPM2_TIMEOUT_MS=200\n";
  UseTpm(tpm, std::string("ENCRYPT_TPM2_PCRS=") + kResettablePcrIndex + "\n");
  ASSERT_EQ(Write(store), kOk);
  ASSERT_EQ(Read(store), kOk);
  const std::string stored = ReadFile(store);
  const std::string sealed = ReadFile(host_key);
  std::string other_name = sealed;
  other_name[kRecordedNameByte] = static_cast<char>(other_name[kRecordedNameByte] ^ 1);
  const std::function<void()> faults[] = {
      [&] { UseTpm(other, ""); },
      [&] { SetKeyFile(other_name); },
      [&] { UseTpm(silent, short_wait); },
      [&] { UseTpm(falls_silent, short_wait); },
      [&] { ASSERT_TRUE(tpm.ExtendPcr(kResettablePcr)); },
      [&] { tpm.Stop(); },
  };
  for (const auto& fault : faults) {
    fault();
    const std::string key_file = ReadFile(host_key);
    EXPECT_EQ(Read(store), kNoCredential);
    EXPECT_EQ(Write(store), kNoCredential);
    EXPECT_EQ(EnDecryptSealHostKeyAs(""), kNoCredential);
    EXPECT_EQ(ReadFile(store), stored);
    EXPECT_EQ(ReadFile(host_key), key_file);
    UseTpm(tpm, "");
    SetKeyFile(sealed);
  }
}

// Each byte of the sealed object's public area one more and one less (its
// size field off by one or 256 either way among them): refused before the
// TPM or by it, never the key; the file as sealed still opens.
TEST_F(Tpm2Test, AnyChangeToThePublicAreaIsRefused) {
  ASSERT_EQ(Write(store), kOk);
  const std::string sealed = ReadFile(host_key);
  const std::size_t begin = kNameSizeAt + 2 + BigEndian16(sealed, kNameSizeAt);
  const std::size_t end = begin + 2 + BigEndian16(sealed, begin);
  ASSERT_LT(end, sealed.size());
  for (std::size_t at = begin; at < end; ++at) {
    for (const int change : {1, -1}) {
      SCOPED_TRACE("byte " + std::to_string(at - begin) + " " + std::to_string(change));
      std::string changed = sealed;
      changed[at] = static_cast<char>(changed[at] + change);
      SetKeyFile(changed);
      EXPECT_EQ(Read(store), kNoCredential);
    }
  }
  SetKeyFile(sealed);
  EXPECT_EQ(Read(store), kOk);
}

// Unseals cut short, more often than the TPM has room for objects: by a
// TPM that leaves one command unanswered past the timeout (the primary
// key's, the object's load, a session's start or the unseal), and by
// SIGINT, SIGTERM or SIGHUP while a command is under way, which still end
// the process. Each run flushes what it had loaded, so the TPM (no
// resource manager in front of it) unseals as before.
TEST_F(Tpm2Test, InterruptedUnsealsLeaveNothingLoaded) {
  ASSERT_EQ(Write(store), kOk);
  for (int run = 0; run < kRunsPastTpmSlots; ++run) {
    const TpmRelay stalls(tpm.Port(), run % 4, true, 1);
    UseTpm(stalls, "ENCRYPT_TPM2_TIMEOUT_MS=200\n");
    EXPECT_EQ(Read(store), kNoCredential);
  }
  UseTpm(tpm, "");
  EXPECT_EQ(Read(store), kOk);
  const int signals[] = {SIGINT, SIGTERM, SIGHUP};
  for (int run = 0; run < kRunsPastTpmSlots; ++run) {
    const int signal_number = signals[run % 3];
    EXPECT_EXIT(
        {
          const TpmRelay signals_midway(tpm.Port(), 1 + run % 3, true, 0,
                                        [=] { ::kill(::getpid(), signal_number); });
          UseTpm(signals_midway, "");
          static_cast<void>(Read(store));  // the signal ends it first
        },
        testing::KilledBySignal(signal_number), "");
  }
  UseTpm(tpm, "");
  EXPECT_EQ(Read(store), kOk);
}

#else  // _WIN32

// DPAPI in machine scope: a key made under it rests sealed and opens its
// stores again; one changed byte of the blob and it opens nothing. (The
// byte is in the signature that closes the blob: Wine, unlike Windows,
// ignores the blob's master-key fields.)
TEST_F(HostKeyTest, DpapiSealedKeyOpensItsStoresAndRefusesChanges) {
  Configure("ENCRYPT_HOST_KEY_PROTECTION=dpapi\n");
  ASSERT_EQ(Write(store), kOk);
  EXPECT_TRUE(IsSealed());
  EXPECT_EQ(Read(store), kOk);
  std::string sealed = ReadFile(host_key);
  sealed.back() = static_cast<char>(sealed.back() ^ 1);
  SetKeyFile(sealed);
  EXPECT_EQ(Read(store), kNoCredential);
}

// Paths are UTF-8 inside, as the configuration file holds them: a store
// and a host key under names outside any ANSI code page land under exactly
// those names.
TEST_F(HostKeyTest, NonAsciiPathsAreTakenAsUtf8) {
  const std::string root = dir.path().string() + "\\";
  host_key = root + "cl\xc3\xa9s\\host.key";                           // clés
  const std::string path = root + "Z\xc3\xbcrich-\xe6\x97\xa5\xe6\x9c\xac.store";  // Zürich-日本
  Configure("");
  ASSERT_EQ(Write(path), kOk);
  EXPECT_EQ(Read(path), kOk);
  EXPECT_TRUE(fs::is_regular_file(dir.path() / L"Z\u00fcrich-\u65e5\u672c.store"));
  EXPECT_TRUE(fs::is_regular_file(dir.path() / L"cl\u00e9s" / L"host.key"));
}

#endif  // _WIN32

}  // namespace
