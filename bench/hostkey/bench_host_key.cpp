// What an unattended run spends on the host key, per protection: an
// unattended read of a one-record store, which loads the key (reading the
// file, and for tpm2 unsealing it in a software TPM started here), derives
// the store's key and opens a few bytes. Median of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/BuildWarning.h"
#include "host/EnDecrypt.h"
#include "host/GlobalConfig.h"
#include "tests/store/SoftwareTpm.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr int kRuns = 21;
using Clock = std::chrono::steady_clock;

// Median milliseconds of an unattended read of a fresh store under the
// protection in `settings`, or a negative value when a call fails.
double TimeRead(const testing_support::ScopedTempDir& dir, const std::string& name,
                const std::string& settings) {
  const std::string config = dir.File(name + ".config");
  testing_support::WriteFile(config, settings + "ENCRYPT_HOST_KEY_PATH=" +
                                         dir.File(name + "/host.key") + "\n");
  const testing_support::ScopedEnv use(std::string("KELVOX_GLOBAL_CONFIG"), config);
  ZUdurov::GlobalConfig::Reload();
  EnDecrypt& store = *EnDecrypt::GetInstance();
  const std::string path = dir.File(name + "/bench.store");
  if (store.Encrypt({{"user", "admin"}}, path, "", true) != 0) return -1;
  std::vector<double> times;
  for (int run = 0; run < kRuns; ++run) {
    std::map<std::string, std::string> records;
    const Clock::time_point start = Clock::now();
    if (store.Decrypt(path, records, "") != 0) return -1;
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[kRuns / 2];
}

void Report(const char* protection, double milliseconds) {
  if (milliseconds < 0) {
    std::printf("%-24s: failed\n", protection);
  } else {
    std::printf("%-24s: %9.3f ms per unattended read\n", protection, milliseconds);
  }
}

}  // namespace

int main() {
  WarnAboutBuild();
  testing_support::ScopedTempDir dir;
  Report("file", TimeRead(dir, "file", ""));
  testing_support::SoftwareTpm tpm;
  if (!tpm.running()) {
    std::printf("%-24s: skipped, swtpm is not installed or does not start\n", "tpm2 (swtpm)");
    return 0;
  }
  Report("tpm2 (swtpm)",
         TimeRead(dir, "tpm2", "ENCRYPT_HOST_KEY_PROTECTION=tpm2\nENCRYPT_TPM2_TCTI=" +
                                   tpm.Tcti() + "\n"));
  Report("tpm2 (swtpm), PCR 16",
         TimeRead(dir, "tpm2-pcr", "ENCRYPT_HOST_KEY_PROTECTION=tpm2\nENCRYPT_TPM2_TCTI=" +
                                       tpm.Tcti() + "\nENCRYPT_TPM2_PCRS=16\n"));
  return 0;
}
