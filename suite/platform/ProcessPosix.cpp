// Process.h on POSIX systems.
#if !defined(_WIN32)
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
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

void UnsetEnvironment(const char* name) { ::unsetenv(name); }

void SetStandardOutputBinary() {}

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

void KeepFreedHeapForReuse() {
#if defined(__GLIBC__)
  // Large blocks from the heap rather than their own mappings, which are
  // unmapped on free; the heap's top kept rather than trimmed; and grown
  // 32 MiB at a time rather than a page or so per call.
  constexpr int kMiB = 1024 * 1024;
  static_cast<void>(mallopt(M_MMAP_THRESHOLD, 256 * kMiB));
  static_cast<void>(mallopt(M_TRIM_THRESHOLD, 1024 * kMiB));
  static_cast<void>(mallopt(M_TOP_PAD, 32 * kMiB));
#endif
}

void ReadyHeapFor(std::size_t size) {
#if defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  void* block = std::malloc(size);
  if (block == nullptr) return;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (start + size) & ~(kHugePage - 1);
  if (last > first) {
    static_cast<void>(::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE));
  }
  std::free(block);
#else
  static_cast<void>(size);
#endif
}

}  // namespace platform

#endif  // !_WIN32
