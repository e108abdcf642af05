// Times whole processes of a few milliseconds, for scripts/bench.sh:
//   bench_spawn ROUNDS WARMUP COMMAND [-- COMMAND]...
//   COMMAND: [<FILE] PROGRAM ARG...   (standard input from FILE, else /dev/null)
// Each round runs every command once, in turn, so that a change in the
// machine's speed weighs on all of them alike; the first WARMUP rounds are
// not counted. Prints for each command, in order, the median wall time and
// the median processor time (user and system) in seconds. A shell between
// the timer and the command would cost as much as the commands themselves.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Command {
  std::string input = "/dev/null";
  std::vector<std::string> argv;
  std::vector<double> wall;
  std::vector<double> processor;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs `command` once, its output discarded; false when it failed.
bool RunOnce(Command& command, bool counted) {
  std::vector<char*> args;
  for (std::string& arg : command.argv) args.push_back(arg.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, command.input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  int raw = -1;
  rusage usage{};
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    wait4(pid, &raw, 0, &usage);
  }
  const auto end = std::chrono::steady_clock::now();
  posix_spawn_file_actions_destroy(&actions);
  if (raw != 0) return false;
  if (counted) {
    command.wall.push_back(std::chrono::duration<double>(end - start).count());
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    command.processor.push_back(seconds(usage.ru_utime) + seconds(usage.ru_stime));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_spawn ROUNDS WARMUP COMMAND [-- COMMAND]...\n");
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  const int warmup = std::atoi(argv[2]);
  std::vector<Command> commands(1);
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      commands.emplace_back();
    } else if (commands.back().argv.empty() && arg.size() > 1 && arg[0] == '<') {
      commands.back().input = arg.substr(1);
    } else {
      commands.back().argv.push_back(arg);
    }
  }
  for (int round = 0; round < warmup + rounds; ++round) {
    for (Command& command : commands) {
      if (command.argv.empty() || !RunOnce(command, round >= warmup)) {
        std::fprintf(stderr, "bench_spawn: '%s' failed\n",
                     command.argv.empty() ? "" : command.argv[0].c_str());
        return 1;
      }
    }
  }
  for (const Command& command : commands) {
    std::printf("%.6f %.6f\n", Median(command.wall), Median(command.processor));
  }
  return 0;
}
