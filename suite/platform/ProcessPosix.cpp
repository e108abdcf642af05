// Process.h on POSIX systems.
#if !defined(_WIN32)
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>

#include "suite/platform/Process.h"

namespace platform {

void DisableCoreDumps() {
#if defined(__linux__)
  // Also covers a core size limit that is raised again later in the process.
  static_cast<void>(::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0));
#endif
  // The soft limit is enough to stop a dump; the hard one stays as it was.
  rlimit limit{};
  if (::getrlimit(RLIMIT_CORE, &limit) == 0) {
    limit.rlim_cur = 0;
    static_cast<void>(::setrlimit(RLIMIT_CORE, &limit));
  }
}

void UnsetEnvironment(const char* name) { ::unsetenv(name); }

void SetStandardOutputBinary() {}

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace platform

#endif  // !_WIN32
