// End-to-end cost of kelvox encrypt on a 100,000-record settings file:
// wall time and peak memory of an unattended new store and of the same run
// as an update, beside a bare Boost.PropertyTree parse of the same file;
// then the number of key derivations in an attended update.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "bench/BuildWarning.h"
#include "bench/run/RunSupport.h"
#include "host/GlobalConfig.h"
#include "suite/endecrypt/StoreEngine.h"
#include "tests/support/EncryptProbe.h"
#include "tests/support/ScopedStdin.h"

namespace {

namespace fs = boost::filesystem;
using bench_run::Best;
using bench_run::kRecords;
using bench_run::Measured;
using bench_run::WriteSettings;

std::string store_path;
void RemoveStore() { fs::remove(store_path); }

// An attended update of an existing store in this process, as a fresh
// process would run it: the number of Argon2id runs it makes.
unsigned long long CountAttendedUpdateDerivations(const std::string& input) {
  constexpr char kTyped[] = "benchmark passphrase\r";
  HostContext context;
  context.options = {{"configfile", input}, {"quiet", ""}};
  {
    // Create the store first: the passphrase is typed twice.
    const testing_support::ScopedStdin keys(std::string(kTyped) + kTyped);
    EncryptProbe create;
    (void)create.SetParameters(context);
    (void)create.Run();
  }
  endecrypt::StoreEngine::Default().ForgetDerivedKeys();
  const unsigned long long before = endecrypt::StoreEngine::Default().GetKeyDerivationCount();
  const testing_support::ScopedStdin keys(kTyped);
  EncryptProbe update;
  (void)update.SetParameters(context);
  const CommandResult result = update.Run();
  if (result.code != 0) std::fprintf(stderr, "attended update failed: %s\n", result.message.c_str());
  return endecrypt::StoreEngine::Default().GetKeyDerivationCount() - before;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path bin = fs::canonical(fs::path(argv[0])).parent_path();
  const fs::path work = fs::temp_directory_path() / fs::unique_path("kelvox-bench-%%%%%%");
  fs::create_directories(work);
  const std::string input = (work / "settings.json").string();
  store_path = (work / "settings.store").string();
  const std::string config = (work / "global.config").string();
  bench_run::ConfigureUnattendedRuns(work, store_path);
  (void)argc;

  const size_t bytes = WriteSettings(input);
  std::printf("input: %d records, %.1f MB\n", kRecords, static_cast<double>(bytes) / 1e6);
  WarnAboutBuild();

  const std::string kelvox = (bin / "kelvox").string();
  const Measured floor = Best({(bin / "bench_bare_parse").string(), input}, 3, nullptr);
  const Measured created = Best({kelvox, "encrypt", "--configfile", input, "--unattended"}, 3, RemoveStore);
  const Measured updated =
      Best({kelvox, "encrypt", "--configfile", input, "--unattended", "--quiet"}, 3, nullptr);
  if (created.status != 0 || updated.status != 0) {
    std::fprintf(stderr, "kelvox failed: %d %d\n", created.status, updated.status);
  }

  const double mib = static_cast<double>(bytes) / 1024.0;
  std::printf("%-28s %9s %9s %12s\n", "run (best of 3)", "wall s", "peak MiB", "peak/input");
  for (const auto& [name, m] : {std::pair{"bare PropertyTree parse", floor},
                                std::pair{"kelvox, new store", created},
                                std::pair{"kelvox, update", updated}}) {
    std::printf("%-28s %9.3f %9.1f %11.1fx\n", name, m.seconds, m.peak_kib / 1024.0,
                static_cast<double>(m.peak_kib) / mib);
  }
  std::printf("new store / bare parse: %.2fx (target <= 1.5x)\n", created.seconds / floor.seconds);
  std::printf("update / new store:     %.2fx (target <= 2x)\n", updated.seconds / created.seconds);

  // The attended update at default cost, in this process, on a small input.
  const std::string small = (work / "small.json").string();
  std::ofstream(small) << "{\"sensitive_settings\": {\"a\": \"1\", \"b\": \"2\"}}";
  std::ofstream(config) << "ENCRYPT_SETTING_PATH=" << (work / "attended.store").string()
                        << "\nENCRYPTED_CREDENTIALS_FILE_PATH=" << (work / "cred.store").string()
                        << "\nLOG_LEVEL=1\nLOG_FILE=" << (work / "kelvox.log").string() << "\n";
  ZUdurov::GlobalConfig::Reload();
  const auto start = std::chrono::steady_clock::now();
  const unsigned long long derivations = CountAttendedUpdateDerivations(small);
  std::printf("attended update: %llu key derivation(s) (target 1); create + update took %.2f s\n",
              derivations,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  fs::remove_all(work);
  return 0;
}
