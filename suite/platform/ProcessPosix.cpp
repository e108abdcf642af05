// Process.h on POSIX systems.
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "suite/platform/Process.h"

namespace platform {
namespace {

constexpr int kLastStandardDescriptor = STDERR_FILENO;
constexpr std::size_t kFirstPathBufferSize = 256;

}  // namespace

std::string GetExecutablePath() {
  std::vector<char> buffer(kFirstPathBufferSize);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool ProcessIsGone(std::uint32_t process) {
  const auto id = static_cast<pid_t>(process);
  return id > 1 && id != ::getpid() && ::kill(id, 0) != 0 && errno == ESRCH;
}

void DisableCoreDumps() {
  // The hard limit too: a plug-in cannot raise it again.
  const rlimit none{0, 0};
  static_cast<void>(::setrlimit(RLIMIT_CORE, &none));
#if defined(__linux__)
  // Also stops a core sent to a pipe handler, which ignores the limit.
  static_cast<void>(::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0));
#endif
}

bool OpenClosedStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= kLastStandardDescriptor; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: `fd` itself, as the ones below it are open.
    const int opened = ::open("/dev/null", O_RDONLY);
    if (opened < 0) return false;
    if (opened != fd) {
      const bool moved = ::dup2(opened, fd) == fd;
      ::close(opened);
      if (!moved) return false;
    }
  }
  return true;
}

void UnsetEnvironment(const char* name) { ::unsetenv(name); }

void SetEnvironmentUnlessSet(const char* name, const char* value) {
  ::setenv(name, value, 0);
}

void SetStandardOutputBinary() {}

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace platform
