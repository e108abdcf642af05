// End-to-end cost of kelvox encrypt on a 100,000-record settings file:
// wall time and peak memory of an unattended new store and of the same run
// as an update, beside a bare Boost.PropertyTree parse of the same file;
// then the number of key derivations in an attended update.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "bench/BuildWarning.h"
#include "host/GlobalConfig.h"
#include "suite/endecrypt/EnDecryptDiagnostics.h"
#include "tests/support/ScriptedKeys.h"

extern char** environ;

namespace {

namespace fs = boost::filesystem;

constexpr int kRecords = 100000;
constexpr unsigned kSeed = 20261206;

struct Measured {
  double seconds = 0;
  long peak_kib = 0;
  int status = -1;
};

std::string RandomText(std::mt19937& random, size_t length) {
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-";
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
  std::string text(length, ' ');
  for (char& c : text) c = kAlphabet[pick(random)];
  return text;
}

// A settings file of kRecords members, about 8 MB, the same on every run.
size_t WriteSettings(const std::string& path) {
  std::mt19937 random(kSeed);
  std::ofstream out(path, std::ios::binary);
  out << "{\n  \"sensitive_settings\": {\n";
  for (int i = 0; i < kRecords; ++i) {
    out << "    \"setting_" << i << "_" << RandomText(random, 12) << "\": \""
        << RandomText(random, 44) << "\"" << (i + 1 < kRecords ? "," : "") << "\n";
  }
  out << "  }\n}\n";
  out.close();
  return fs::file_size(path);
}

// Runs `argv` with stdin from /dev/null and output discarded.
Measured RunChild(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  Measured measured;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int raw = 0;
    rusage usage{};
    wait4(pid, &raw, 0, &usage);
    measured.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measured.peak_kib = usage.ru_maxrss;
    measured.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return measured;
}

Measured Best(const std::vector<std::string>& argv, int runs, void (*before)()) {
  Measured best;
  for (int i = 0; i < runs; ++i) {
    if (before != nullptr) before();
    const Measured m = RunChild(argv);
    if (i == 0 || m.seconds < best.seconds) best = m;
  }
  return best;
}

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
    const ScriptedKeys keys(std::string(kTyped) + kTyped);
    ENCRYPT create;
    (void)create.SetParameters(context);
    (void)create.Run();
  }
  EnDecryptForgetDerivedKeys();
  const unsigned long long before = EnDecryptKeyDerivationCount();
  const ScriptedKeys keys(kTyped);
  ENCRYPT update;
  (void)update.SetParameters(context);
  const CommandResult result = update.Run();
  if (result.code != 0) std::fprintf(stderr, "attended update failed: %s\n", result.message.c_str());
  return EnDecryptKeyDerivationCount() - before;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path bin = fs::canonical(fs::path(argv[0])).parent_path();
  const fs::path work = fs::temp_directory_path() / fs::unique_path("kelvox-bench-%%%%%%");
  fs::create_directories(work);
  const std::string input = (work / "settings.json").string();
  store_path = (work / "settings.store").string();
  const std::string config = (work / "global.config").string();
  std::ofstream(config) << "ENCRYPT_SETTING_PATH=" << store_path
                        << "\nENCRYPTED_CREDENTIALS_FILE_PATH=" << (work / "cred.store").string()
                        << "\nENCRYPT_HOST_KEY_PATH=" << (work / "host.key").string()
                        << "\nLOG_LEVEL=3\nLOG_FILE=" << (work / "kelvox.log").string() << "\n";
  setenv("KELVOX_GLOBAL_CONFIG", config.c_str(), 1);
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
