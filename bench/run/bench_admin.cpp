// The store commands on the 100,000-record store of the run benchmark,
// unattended: decrypt to a file against creating the store with encrypt,
// and list, verify and get of one key against a bare read of the store.
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "bench/BuildWarning.h"
#include "bench/run/RunSupport.h"

namespace {

namespace fs = boost::filesystem;
using bench_run::Best;
using bench_run::Measured;

constexpr int kRuns = 3;

std::string store_path;
std::string output_path;
void RemoveStore() { fs::remove(store_path); }
void RemoveOutput() { fs::remove(output_path); }

}  // namespace

int main(int argc, char** argv) {
  (void)argc;
  const fs::path bin = fs::canonical(fs::path(argv[0])).parent_path();
  const fs::path work = fs::temp_directory_path() / fs::unique_path("kelvox-bench-%%%%%%");
  fs::create_directories(work);
  const std::string input = (work / "settings.json").string();
  store_path = (work / "settings.store").string();
  output_path = (work / "decrypted.json").string();
  bench_run::ConfigureUnattendedRuns(work, store_path);

  const size_t bytes = bench_run::WriteSettings(input);
  std::printf("store of %d records from a %.1f MB input, unattended\n", bench_run::kRecords,
              static_cast<double>(bytes) / 1e6);
  WarnAboutBuild();

  const std::string kelvox = (bin / "kelvox").string();
  const std::vector<std::string> store = {"--type", "settings", "--unattended"};
  const auto command = [&](const char* name, std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {kelvox, name};
    argv.insert(argv.end(), store.begin(), store.end());
    argv.insert(argv.end(), extra.begin(), extra.end());
    return argv;
  };
  const Measured created =
      Best({kelvox, "encrypt", "--configfile", input, "--unattended"}, kRuns, RemoveStore);
  const Measured decrypted = Best(command("decrypt", {"--output", output_path}), kRuns, RemoveOutput);
  const Measured bare = Best({(bin / "bench_bare_read").string(), store_path}, kRuns, nullptr);
  const Measured listed = Best(command("list"), kRuns, nullptr);
  const Measured verified = Best(command("verify"), kRuns, nullptr);
  // The first key WriteSettings makes: the same seed, the same first draw.
  std::mt19937 random(bench_run::kSeed);
  const std::string first_key = "setting_0_" + bench_run::RandomText(random, 12);
  const Measured got = Best(command("get", {"--key", first_key}), kRuns, nullptr);
  for (const Measured& m : {created, decrypted, bare, listed, verified, got}) {
    if (m.status != 0) std::fprintf(stderr, "a run failed with status %d\n", m.status);
  }

  std::printf("%-28s %9s %9s\n", "run (best of 3)", "wall s", "peak MiB");
  for (const auto& [name, m] :
       {std::pair{"encrypt, new store", created}, std::pair{"decrypt --output", decrypted},
        std::pair{"bare read of the store", bare}, std::pair{"list", listed},
        std::pair{"verify", verified}, std::pair{"get of one key", got}}) {
    std::printf("%-28s %9.3f %9.1f\n", name, m.seconds, m.peak_kib / 1024.0);
  }
  std::printf("decrypt / new store: %.2fx (target <= 0.5x)\n", decrypted.seconds / created.seconds);
  std::printf("list / bare read:    %.2fx (target <= 1.1x)\n", listed.seconds / bare.seconds);
  std::printf("verify / bare read:  %.2fx (target <= 1.1x)\n", verified.seconds / bare.seconds);
  std::printf("get / bare read:     %.2fx (target <= 1.1x)\n", got.seconds / bare.seconds);
  fs::remove_all(work);
  return 0;
}
