#include "Src/Misc/Edit/PrivateFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "suite/secretmemory/SecretMemory.h"

namespace {

constexpr char kFolderTemplate[] = "/kelvox-edit-XXXXXX";
constexpr char kSharedMemoryFolder[] = "/dev/shm";
constexpr std::size_t kZeroBlockSize = 4096;
constexpr std::size_t kMaxPathSize = 4096;
constexpr mode_t kOwnerOnlyFile = 0600;

// The signals that end the process by default while the file exists.
constexpr int kEndingSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGPIPE};
constexpr std::size_t kEndingSignalCount = std::size(kEndingSignals);

// What the handler removes: fixed buffers, written only while the signals
// are blocked, so the handler never sees them half written.
char folder_to_remove[kMaxPathSize];
char file_to_remove[kMaxPathSize];
struct sigaction previous_actions[kEndingSignalCount];
volatile sig_atomic_t hooked = 0;

// Overwrites the regular file at `path` with zeros, then removes it. Only
// async-signal-safe calls, so the signal handler may use it too.
void WipeAndUnlink(const char* path) {
  const int fd = ::open(path, O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) {
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
      static const char zeros[kZeroBlockSize] = {};
      off_t left = status.st_size;
      while (left > 0) {
        const ssize_t wrote =
            ::write(fd, zeros, left < static_cast<off_t>(sizeof zeros) ? left : sizeof zeros);
        if (wrote <= 0 && errno != EINTR) break;
        if (wrote > 0) left -= wrote;
      }
      ::fsync(fd);
    }
    ::close(fd);
  }
  ::unlink(path);
}

void RemoveOnSignal(int signal_number) {
  WipeAndUnlink(file_to_remove);
  ::rmdir(folder_to_remove);
  for (std::size_t i = 0; i < kEndingSignalCount; ++i) {
    if (kEndingSignals[i] == signal_number) sigaction(signal_number, &previous_actions[i], nullptr);
  }
  hooked = 0;
  // Blocked until this handler returns; then it takes the restored action.
  raise(signal_number);
}

// Signals blocked while the names above change.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t all;
    sigemptyset(&all);
    for (const int signal_number : kEndingSignals) sigaddset(&all, signal_number);
    sigprocmask(SIG_BLOCK, &all, &saved);
  }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;
  ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &saved, nullptr); }

 private:
  sigset_t saved;
};

void HookSignals(const std::string& folder, const std::string& file) {
  const SignalsBlocked blocked;
  std::strncpy(folder_to_remove, folder.c_str(), kMaxPathSize - 1);
  std::strncpy(file_to_remove, file.c_str(), kMaxPathSize - 1);
  struct sigaction action {};
  action.sa_handler = RemoveOnSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : kEndingSignals) sigaddset(&action.sa_mask, signal_number);
  for (std::size_t i = 0; i < kEndingSignalCount; ++i) {
    sigaction(kEndingSignals[i], &action, &previous_actions[i]);
  }
  hooked = 1;
}

void UnhookSignals() {
  const SignalsBlocked blocked;
  if (hooked == 0) return;
  for (std::size_t i = 0; i < kEndingSignalCount; ++i) {
    sigaction(kEndingSignals[i], &previous_actions[i], nullptr);
  }
  hooked = 0;
}

// True when `folder` is a folder of ours that no one else may enter and
// whose files live in memory.
bool IsPrivateMemoryFolder(const std::string& folder, bool must_be_ours) {
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return false;
  if (must_be_ours && (status.st_uid != ::geteuid() || (status.st_mode & 077) != 0)) return false;
#if defined(__linux__)
  struct statfs system {};
  if (::statfs(folder.c_str(), &system) != 0) return false;
  return system.f_type == TMPFS_MAGIC || system.f_type == RAMFS_MAGIC;
#else
  return must_be_ours;
#endif
}

// $XDG_RUNTIME_DIR when it is the user's own memory folder, else /dev/shm.
std::string FindMemoryFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && IsPrivateMemoryFolder(runtime, true)) {
    return runtime;
  }
  if (IsPrivateMemoryFolder(kSharedMemoryFolder, false)) return kSharedMemoryFolder;
  return std::string();
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

}  // namespace

PrivateFile::~PrivateFile() {
  if (folder.empty()) return;
  // The editor may have left a backup or swap file beside ours.
  if (DIR* entries = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(entries)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") WipeAndUnlink((folder + "/" + name).c_str());
    }
    ::closedir(entries);
  }
  ::rmdir(folder.c_str());
  UnhookSignals();
}

bool PrivateFile::Create(const std::string& name, const std::string& text, std::string& reason) {
  const std::string base = FindMemoryFolder();
  if (base.empty()) {
    reason = "no memory-backed folder is available ($XDG_RUNTIME_DIR or /dev/shm)";
    return false;
  }
  std::string pattern = base + kFolderTemplate;
  if (pattern.size() + name.size() + 2 > kMaxPathSize) {
    reason = "the path of " + base + " is too long";
    return false;
  }
  {
    // The handler is in place before the folder exists.
    const SignalsBlocked blocked;
    if (::mkdtemp(pattern.data()) == nullptr) {
      reason = "no folder can be made in " + base;
      return false;
    }
    folder = pattern;
    file = folder + "/" + name;
    HookSignals(folder, file);
  }
  const int fd =
      ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kOwnerOnlyFile);
  const bool written = fd >= 0 && WriteAll(fd, text);
  const bool closed = fd >= 0 && ::close(fd) == 0;
  if (!written || !closed) {
    reason = "the file cannot be written in " + base;
    return false;  // the destructor removes what was made
  }
  return true;
}

bool PrivateFile::ReadBack(std::size_t max_size, std::string& text) const {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat status {};
  std::string read;
  ScopedWipe<std::string> wipe(read);
  bool ok = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
            static_cast<std::size_t>(status.st_size) <= max_size;
  if (ok) {
    read.resize(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (ok && done < read.size()) {
      const ssize_t got = ::read(fd, read.data() + done, read.size() - done);
      if (got < 0 && errno == EINTR) continue;
      ok = got > 0;
      if (ok) done += static_cast<std::size_t>(got);
    }
  }
  ::close(fd);
  if (!ok) return false;
  WipeString(text);
  text.swap(read);
  return true;
}
