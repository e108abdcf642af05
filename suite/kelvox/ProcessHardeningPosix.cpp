// ProcessHardening.h on POSIX systems.
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <cerrno>

#include "suite/kelvox/ProcessHardening.h"

namespace {

constexpr int kLastStandardDescriptor = STDERR_FILENO;

}  // namespace

void DisableCrashDumps() {
  // The hard limit too: a plug-in cannot raise it again.
  const rlimit none{0, 0};
  static_cast<void>(::setrlimit(RLIMIT_CORE, &none));
#if defined(__linux__)
  // Also stops a core sent to a pipe handler, which ignores the limit, and
  // makes /proc/<pid>/mem and the like root's alone.
  static_cast<void>(::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0));
#endif
}

bool OpenClosedStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= kLastStandardDescriptor; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: `fd` itself, as the ones below it are open.
    const int opened = ::open("/dev/null", O_RDWR);
    if (opened < 0) return false;
    if (opened != fd) {
      const bool moved = ::dup2(opened, fd) == fd;
      ::close(opened);
      if (!moved) return false;
    }
  }
  return true;
}

#endif  // !defined(_WIN32)
