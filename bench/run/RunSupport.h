// What the whole-run benchmarks share: the 100,000-record settings input
// (the same bytes on every run) and a child process timed to completion.
#ifndef BENCH_RUN_RUNSUPPORT_H_
#define BENCH_RUN_RUNSUPPORT_H_

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

extern char** environ;

namespace bench_run {

constexpr int kRecords = 100000;
constexpr unsigned kSeed = 20261206;

struct Measured {
  double seconds = 0;
  long peak_kib = 0;
  int status = -1;
};

inline std::string RandomText(std::mt19937& random, size_t length) {
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-";
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
  std::string text(length, ' ');
  for (char& c : text) c = kAlphabet[pick(random)];
  return text;
}

// A settings file of kRecords members, about 8 MB, the same on every run.
inline size_t WriteSettings(const std::string& path) {
  std::mt19937 random(kSeed);
  std::ofstream out(path, std::ios::binary);
  out << "{\n  \"sensitive_settings\": {\n";
  for (int i = 0; i < kRecords; ++i) {
    out << "    \"setting_" << i << "_" << RandomText(random, 12) << "\": \""
        << RandomText(random, 44) << "\"" << (i + 1 < kRecords ? "," : "") << "\n";
  }
  out << "  }\n}\n";
  out.close();
  return boost::filesystem::file_size(path);
}

// Points KELVOX_GLOBAL_CONFIG at a configuration in `work` whose settings
// store is `store`, with the credentials store, host key and log beside it.
inline void ConfigureUnattendedRuns(const boost::filesystem::path& work, const std::string& store) {
  const std::string config = (work / "global.config").string();
  std::ofstream(config) << "ENCRYPT_SETTING_PATH=" << store
                        << "\nENCRYPTED_CREDENTIALS_FILE_PATH=" << (work / "cred.store").string()
                        << "\nENCRYPT_HOST_KEY_PATH=" << (work / "host.key").string()
                        << "\nLOG_LEVEL=3\nLOG_FILE=" << (work / "kelvox.log").string() << "\n";
  setenv("KELVOX_GLOBAL_CONFIG", config.c_str(), 1);
}

// Runs `argv` with stdin from /dev/null and output discarded.
inline Measured RunChild(const std::vector<std::string>& argv) {
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

inline Measured Best(const std::vector<std::string>& argv, int runs, void (*before)()) {
  Measured best;
  for (int i = 0; i < runs; ++i) {
    if (before != nullptr) before();
    const Measured m = RunChild(argv);
    if (i == 0 || m.seconds < best.seconds) best = m;
  }
  return best;
}

}  // namespace bench_run

#endif  // BENCH_RUN_RUNSUPPORT_H_
