// The credential server under load, as the service manager loads
// credentials: `kelvox serve` is started with a listening socket as a
// socket unit starts it, and ROUNDS credentials are loaded one after the
// other from the manager's abstract addresses. Prints the median and the
// 99th percentile of one load, in seconds, on one line.
//   bench_serve KELVOX ROUNDS   (KELVOX_GLOBAL_CONFIG names a configuration
//   whose grant file gives bench.service the credential "value")
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

sockaddr_un AddressOf(const std::string& raw) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, raw.data(), std::min(raw.size(), sizeof address.sun_path));
  return address;
}

socklen_t SizeOf(const std::string& raw) {
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + raw.size());
}

// One load: bound as the manager binds, connected, read to the end.
std::size_t Load(const std::string& server, unsigned round) {
  char random[16];
  std::snprintf(random, sizeof random, "%08x", round);
  const std::string bound = std::string(1, '\0') + random + "/unit/bench.service/value";
  const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_un self = AddressOf(bound);
  const sockaddr_un peer = AddressOf(server);
  std::size_t got = 0;
  if (::bind(client, reinterpret_cast<const sockaddr*>(&self), SizeOf(bound)) == 0 &&
      ::connect(client, reinterpret_cast<const sockaddr*>(&peer), SizeOf(server)) == 0) {
    char buffer[4096];
    for (ssize_t read; (read = ::read(client, buffer, sizeof buffer)) > 0;) {
      got += static_cast<std::size_t>(read);
    }
  }
  ::close(client);
  return got;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_serve KELVOX ROUNDS\n");
    return 2;
  }
  const std::string server = std::string(1, '\0') + "kelvox-bench-serve-" + std::to_string(::getpid());
  const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const sockaddr_un address = AddressOf(server);
  if (::bind(listening, reinterpret_cast<const sockaddr*>(&address), SizeOf(server)) != 0 ||
      ::listen(listening, 128) != 0) {
    std::perror("bench_serve: socket");
    return 1;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    if (listening != 3) ::dup2(listening, 3);
    ::setenv("LISTEN_FDS", "1", 1);
    ::setenv("LISTEN_PID", std::to_string(::getpid()).c_str(), 1);
    ::execl(argv[1], "kelvox", "serve", nullptr);
    ::_exit(127);
  }
  ::close(listening);
  const unsigned rounds = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
  std::vector<double> seconds;
  bool all_answered = Load(server, rounds) > 0;  // the server's start, not counted
  for (unsigned round = 0; round < rounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    all_answered = Load(server, round) > 0 && all_answered;
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  ::kill(child, SIGTERM);
  ::waitpid(child, nullptr, 0);
  if (!all_answered || seconds.empty()) {
    std::fprintf(stderr, "bench_serve: a load got nothing\n");
    return 1;
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("%.6f %.6f\n", seconds[seconds.size() / 2], seconds[seconds.size() * 99 / 100]);
  return 0;
}
