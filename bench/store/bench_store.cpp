// Speed of the encrypted record store: writes and reads of a store of
// 100,000 records, beside libsodium's raw XChaCha20-Poly1305 on the same
// number of bytes, and one key derivation at the default costs. Store key
// derivation is set to the cheapest costs, so the store lines measure the
// file work and the sealing. Fixed seed; the store lives in a temporary folder.
#include <sodium.h>

#include <algorithm>
#include <boost/filesystem.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/BuildWarning.h"
#include "host/EnDecrypt.h"
#include "suite/endecrypt/StoreEngine.h"

namespace {

constexpr int kRecords = 100000;
constexpr std::size_t kValueSize = 64;
constexpr int kRuns = 5;
constexpr std::uint32_t kSeed = 301;
constexpr std::size_t kLengthPrefixes = 8;  // two 4-byte lengths per record
constexpr char kPassphrase[] = "benchmark passphrase";
constexpr unsigned long long kDefaultOpsLimit = 3;
constexpr std::size_t kDefaultMemLimit = std::size_t{256} << 20;

using Records = std::map<std::string, std::string>;
using Clock = std::chrono::steady_clock;

Records MakeRecords(const std::string& prefix, std::mt19937& random) {
  Records records;
  char key[32];
  for (int i = 0; i < kRecords; ++i) {
    std::snprintf(key, sizeof(key), "%s%06d", prefix.c_str(), i);
    std::string value(kValueSize, '\0');
    for (char& byte : value) byte = static_cast<char>(random());
    records.emplace(key, std::move(value));
  }
  return records;
}

std::size_t RecordBytes(const Records& records) {
  std::size_t total = 4;
  for (const auto& [key, value] : records) total += kLengthPrefixes + key.size() + value.size();
  return total;
}

// Median seconds of kRuns calls of `operation`; exits when it fails.
double Time(const char* name, const std::function<int()>& operation) {
  std::vector<double> seconds;
  for (int run = 0; run < kRuns; ++run) {
    const Clock::time_point start = Clock::now();
    const int result = operation();
    seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    if (result != 0) {
      std::fprintf(stderr, "%s failed with status %d\n", name, result);
      std::exit(1);
    }
  }
  std::sort(seconds.begin(), seconds.end());
  return seconds[kRuns / 2];
}

// `records` zero: a line without a record rate.
void Report(const char* name, double seconds, std::size_t bytes, int records) {
  std::printf("%-22s: %9.2f ms", name, seconds * 1e3);
  if (records > 0) {
    std::printf(" %12.0f records/s", records / seconds);
  } else {
    std::printf(" %20s", "");
  }
  std::printf(" %9.1f MB/s\n", bytes / seconds / 1e6);
}

}  // namespace

int main() {
  if (sodium_init() < 0) return 1;
  WarnAboutBuild();
  namespace fs = boost::filesystem;
  const fs::path folder = fs::temp_directory_path() / fs::unique_path("kelvox-bench-%%%%-%%%%");
  fs::create_directories(folder);
  const std::string config = (folder / "global.config").string();
  std::ofstream(config) << "ENCRYPT_KDF_OPSLIMIT=1\nENCRYPT_KDF_MEMLIMIT=8192\n"
                        << "ENCRYPT_HOST_KEY_PATH=" << (folder / "host.key").string() << "\n";
#if defined(_WIN32)
  _putenv_s("KELVOX_GLOBAL_CONFIG", config.c_str());
#else
  setenv("KELVOX_GLOBAL_CONFIG", config.c_str(), 1);
#endif

  std::mt19937 random(kSeed);
  const Records records = MakeRecords("key", random);
  const Records others = MakeRecords("other", random);
  const std::size_t bytes = RecordBytes(records);
  const std::string store = (folder / "bench.store").string();
  EnDecrypt& library = *EnDecrypt::GetInstance();
  std::printf("%d records, %.1f MB of records, in %s\n", kRecords, bytes / 1e6,
              folder.string().c_str());

  for (const char* passphrase : {kPassphrase, ""}) {
    std::printf("%s mode:\n", *passphrase ? "attended" : "unattended");
    const auto create = [&] {
      fs::remove(store);
      return library.Encrypt(records, store, passphrase, false).GetCode();
    };
    const auto replace = [&] {
      return library.Encrypt(records, store, passphrase, false).GetCode();
    };
    const auto read = [&] {
      Records opened;
      return library.Decrypt(store, opened, passphrase).GetCode();
    };
    const auto merge = [&] { return library.Encrypt(others, store, passphrase, true).GetCode(); };
    Report("  create", Time("create", create), bytes, kRecords);
    Report("  rewrite (replace)", Time("rewrite", replace), bytes, kRecords);
    Report("  read", Time("read", read), bytes, kRecords);
    // The first merge doubles the store; the median run rewrites all of it.
    Report("  rewrite (merge)", Time("merge", merge), 2 * bytes, 2 * kRecords);
  }

  std::vector<unsigned char> plain(bytes, 0x5a);
  std::vector<unsigned char> sealed(bytes + crypto_aead_xchacha20poly1305_ietf_ABYTES);
  unsigned char key[crypto_aead_xchacha20poly1305_ietf_KEYBYTES];
  unsigned char nonce[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES];
  crypto_aead_xchacha20poly1305_ietf_keygen(key);
  randombytes_buf(nonce, sizeof(nonce));
  const auto seal = [&] {
    return crypto_aead_xchacha20poly1305_ietf_encrypt(
        sealed.data(), nullptr, plain.data(), plain.size(), nullptr, 0, nullptr, nonce, key);
  };
  const auto open = [&] {
    return crypto_aead_xchacha20poly1305_ietf_decrypt(plain.data(), nullptr, nullptr, sealed.data(),
                                                      sealed.size(), nullptr, 0, nonce, key);
  };
  std::printf("libsodium, same bytes:\n");
  Report("  raw AEAD seal", Time("seal", seal), bytes, 0);
  Report("  raw AEAD open", Time("open", open), bytes, 0);

  unsigned char derived[32];
  unsigned char salt[crypto_pwhash_SALTBYTES] = {};
  const Clock::time_point start = Clock::now();
  if (crypto_pwhash(derived, sizeof(derived), kPassphrase, sizeof(kPassphrase) - 1, salt,
                    kDefaultOpsLimit, kDefaultMemLimit, crypto_pwhash_ALG_ARGON2ID13) != 0) {
    return 1;
  }
  std::printf("Argon2id, default costs (3, 256 MiB): %.0f ms per derivation\n",
              std::chrono::duration<double>(Clock::now() - start).count() * 1e3);
  std::printf("key derivations by the store: %llu\n",
              endecrypt::StoreEngine::Default().GetKeyDerivationCount());

  boost::system::error_code error;
  fs::remove_all(folder, error);
  return 0;
}
