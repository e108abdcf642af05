// kelvox hostkey rotate on two unattended 100,000-record stores, against one
// rekey of each: rotation costs the two rewrites and little more.
#include <algorithm>
#include <cstdio>
#include <string>

#include <boost/filesystem.hpp>

#include "bench/BuildWarning.h"
#include "bench/run/RunSupport.h"

int main(int argc, char** argv) {
  (void)argc;
  namespace fs = boost::filesystem;
  constexpr int kRuns = 3;
  const fs::path bin = fs::canonical(fs::path(argv[0])).parent_path();
  const fs::path work = fs::temp_directory_path() / fs::unique_path("kelvox-bench-%%%%%%");
  fs::create_directories(work);
  const std::string input = (work / "settings.json").string();
  const std::string settings = (work / "settings.store").string();
  const std::string credentials = (work / "cred.store").string();
  bench_run::ConfigureUnattendedRuns(work, settings);
  bench_run::WriteSettings(input);
  std::printf("two unattended stores of %d records each\n", bench_run::kRecords);
  WarnAboutBuild();

  const std::string kelvox = (bin / "kelvox").string();
  const bench_run::Measured created =
      bench_run::RunChild({kelvox, "encrypt", "--configfile", input, "--unattended"});
  fs::copy_file(settings, credentials);
  const auto rekey = [&](const std::string& store) {
    return bench_run::Best({kelvox, "rekey", "--store", store, "--unattended"}, kRuns, nullptr);
  };
  const bench_run::Measured first = rekey(settings);
  const bench_run::Measured second = rekey(credentials);
  const bench_run::Measured rotated = bench_run::Best({kelvox, "hostkey", "rotate"}, kRuns, nullptr);
  for (const bench_run::Measured& m : {created, first, second, rotated}) {
    if (m.status != 0) std::fprintf(stderr, "a run failed with status %d\n", m.status);
  }
  const double rekeys = first.seconds + second.seconds;
  std::printf("%-34s %9s %9s\n", "run (best of 3)", "wall s", "peak MiB");
  std::printf("%-34s %9.3f %9.1f\n", "rekey of each store (sum)", rekeys,
              std::max(first.peak_kib, second.peak_kib) / 1024.0);
  std::printf("%-34s %9.3f %9.1f\n", "hostkey rotate of both", rotated.seconds,
              rotated.peak_kib / 1024.0);
  std::printf("rotate / rekeys: %.2fx (target <= 2.2x)\n", rotated.seconds / rekeys);
  fs::remove_all(work);
  return 0;
}
