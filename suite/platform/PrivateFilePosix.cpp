// PrivateFile.h on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/magic.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "suite/platform/DescriptorPosix.h"
#include "suite/platform/PrivateFile.h"
#include "suite/platform/Process.h"
#include "suite/platform/SignalCleanupPosix.h"
#include "suite/secretmemory/SecretMemory.h"

namespace platform {
namespace {

// A folder is named "kelvox-edit-<process id>-<six random characters>".
constexpr char kFolderPrefix[] = "kelvox-edit-";
constexpr char kRandomTemplate[] = "-XXXXXX";
constexpr std::size_t kRandomSize = 6;
constexpr std::size_t kMaxProcessDigits = 9;
constexpr char kSharedMemoryFolder[] = "/dev/shm";
constexpr std::size_t kZeroBlockSize = 4096;
constexpr std::size_t kMaxPathSize = 4096;
constexpr mode_t kOwnerOnlyFile = 0600;
// A folder being emptied while an editor may still add to it is listed
// again, a few times at most.
constexpr int kEmptyingPasses = 4;
// How deep sub-folders an editor made (backup or swap folders) are emptied;
// each level holds a listing buffer on the stack, the signal handler's too.
constexpr int kMaxFolderDepth = 8;

// The signals a handler can catch whose default action ends the process.
// The real-time signals (which end it too) are added where they exist.
constexpr int kEndingSignals[] = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT,   SIGBUS,  SIGFPE,
    SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE, SIGALRM, SIGTERM,   SIGXCPU, SIGXFSZ,
    SIGVTALRM, SIGPROF, SIGSYS,
#if defined(__linux__)
    SIGSTKFLT, SIGIO, SIGPWR,
#endif
};

sigset_t EndingSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : kEndingSignals) sigaddset(&set, signal_number);
#if defined(SIGRTMIN) && defined(SIGRTMAX)
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
    sigaddset(&set, signal_number);
  }
#endif
  return set;
}

// What the clean-up removes: written only while the ending signals are
// blocked, so the handler never sees them half written.
char folder_to_remove[kMaxPathSize];
char name_to_remove[kMaxPathSize];
volatile sig_atomic_t folder_to_empty = -1;

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Overwrites the regular file `name` in the open folder `folder` with
// zeros, then removes it (or it, an empty folder). Only async-signal-safe
// calls, so the signal handler may use it too.
void WipeAndRemove(int folder, const char* name) {
  const int fd = ::openat(folder, name, O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd >= 0) {
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
      static const char zeros[kZeroBlockSize] = {};
      off_t left = status.st_size;
      while (left > 0) {
        const std::size_t block =
            left < static_cast<off_t>(sizeof zeros) ? static_cast<std::size_t>(left) : sizeof zeros;
        if (!WriteFully(fd, zeros, block)) break;
        left -= static_cast<off_t>(block);
      }
      ::fsync(fd);
    }
    ::close(fd);
  }
  if (::unlinkat(folder, name, 0) != 0) ::unlinkat(folder, name, AT_REMOVEDIR);
}

void RemoveEntry(int folder, const char* name, int depth);

#if defined(__linux__)
// Wipes and removes what the open folder `folder` holds: the file and
// whatever the editor left beside it (a backup, a swap file, a folder of
// them). Lists it with the system call itself, so the signal handler may
// use it too.
void EmptyFolder(int folder, int depth = 0) {
  alignas(struct dirent64) char buffer[2048];
  for (int pass = 0; pass < kEmptyingPasses; ++pass) {
    bool found = false;
    if (::lseek(folder, 0, SEEK_SET) != 0) return;
    long got;
    while ((got = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer)) > 0) {
      for (long at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
        at += entry->d_reclen;
        if (IsDotEntry(entry->d_name)) continue;
        found = true;
        RemoveEntry(folder, entry->d_name, depth);
      }
    }
    if (!found) return;
  }
}

void EmptyFolderOnSignal(int folder) { EmptyFolder(folder); }
#else
void EmptyFolder(int folder, int depth = 0) {
  for (int pass = 0; pass < kEmptyingPasses; ++pass) {
    const int listed = ::dup(folder);
    DIR* listing = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (listing == nullptr) {
      if (listed >= 0) ::close(listed);
      return;
    }
    ::rewinddir(listing);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(listing)) {
      if (!IsDotEntry(entry->d_name)) names.emplace_back(entry->d_name);
    }
    ::closedir(listing);
    if (names.empty()) return;
    for (const std::string& name : names) RemoveEntry(folder, name.c_str(), depth);
  }
}

// readdir is no call for a signal handler: the file alone goes there.
void EmptyFolderOnSignal(int folder) { WipeAndRemove(folder, name_to_remove); }
#endif

// Removes the entry `name` of the open folder `folder`, `depth` levels
// below the private folder: a sub-folder is emptied and removed, anything
// else wiped (a regular file) and removed. A sub-folder is opened from its
// folder's descriptor and never through a link, so a link the editor left
// goes itself and what it names, wherever that is, is never touched. A
// folder deeper than kMaxFolderDepth stays. Only async-signal-safe calls.
void RemoveEntry(int folder, const char* name, int depth) {
  if (depth < kMaxFolderDepth) {
    const int inner =
        ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (inner >= 0) {
      EmptyFolder(inner, depth + 1);
      ::close(inner);
      ::unlinkat(folder, name, AT_REMOVEDIR);
      return;
    }
  }
  WipeAndRemove(folder, name);
}

// Empties and removes the folder. Only async-signal-safe calls.
void RemoveOnSignal(int /*signal_number*/) {
  if (folder_to_empty >= 0) {
    EmptyFolderOnSignal(folder_to_empty);
    ::rmdir(folder_to_remove);
  }
}

using FolderCleanup = SignalCleanup<RemoveOnSignal>;

// In place while the process has a private folder (one at a time).
std::optional<FolderCleanup> cleanup;

// REQUIRES: the ending signals blocked.
void HookSignals(int room, const std::string& folder, const std::string& name) {
  std::strncpy(folder_to_remove, folder.c_str(), kMaxPathSize - 1);
  std::strncpy(name_to_remove, name.c_str(), kMaxPathSize - 1);
  folder_to_empty = room;
  cleanup.emplace(EndingSignals());
}

// REQUIRES: the ending signals blocked.
void UnhookSignals() {
  folder_to_empty = -1;
  cleanup.reset();
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

// The memory folders a private folder may be made in, the preferred first:
// $XDG_RUNTIME_DIR when it is the user's own memory folder, /dev/shm.
std::vector<std::string> MemoryFolders() {
  std::vector<std::string> found;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && IsPrivateMemoryFolder(runtime, true)) {
    found.emplace_back(runtime);
  }
  if (IsPrivateMemoryFolder(kSharedMemoryFolder, false)) found.emplace_back(kSharedMemoryFolder);
  return found;
}

// The process id in the name of a private folder, or 0 when `name` is none.
pid_t FolderProcess(const std::string& name) {
  const std::size_t prefix = sizeof kFolderPrefix - 1;
  if (name.size() <= prefix + 1 + kRandomSize || name.compare(0, prefix, kFolderPrefix) != 0 ||
      name[name.size() - kRandomSize - 1] != '-') {
    return 0;
  }
  const std::string digits = name.substr(prefix, name.size() - prefix - kRandomSize - 1);
  if (digits.empty() || digits.size() > kMaxProcessDigits ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return 0;
  }
  return static_cast<pid_t>(std::stol(digits));
}

struct CloseListing {
  void operator()(DIR* listing) const { ::closedir(listing); }
};

// Removes from `base` the private folders of the running user whose run is
// gone: its process has ended, and its lock (which a process in another
// process-id namespace, sharing the folder, would still hold) is free.
void RemoveLeftBehindIn(const std::string& base) {
  const std::unique_ptr<DIR, CloseListing> listing(::opendir(base.c_str()));
  if (listing == nullptr) return;
  const int listed = ::dirfd(listing.get());
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(listing.get())) {
    const pid_t process = FolderProcess(entry->d_name);
    if (process > 0 && ProcessIsGone(static_cast<std::uint32_t>(process))) {
      names.emplace_back(entry->d_name);
    }
  }
  for (const std::string& name : names) {
    const UniqueFd room(
        ::openat(listed, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (room.get() < 0 || ::fstat(room.get(), &status) != 0 || status.st_uid != ::geteuid() ||
        ::flock(room.get(), LOCK_EX | LOCK_NB) != 0) {
      continue;
    }
    EmptyFolder(room.get());
    ::unlinkat(listed, name.c_str(), AT_REMOVEDIR);
  }
}

}  // namespace

PrivateFile::~PrivateFile() {
  if (folder.empty()) return;
  {
    // The handler works on the same open folder: one of the two at a time.
    const SignalsBlocked blocked(EndingSignals());
    EmptyFolder(room);
    ::rmdir(folder.c_str());
    UnhookSignals();
  }
  ::close(room);
}

void PrivateFile::RemoveLeftBehind() {
  for (const std::string& base : MemoryFolders()) RemoveLeftBehindIn(base);
}

bool PrivateFile::Create(const std::string& name, const std::string& text, std::string& reason) {
  RemoveLeftBehind();
  const std::vector<std::string> bases = MemoryFolders();
  if (bases.empty()) {
    reason = "no memory-backed folder is available ($XDG_RUNTIME_DIR or /dev/shm)";
    return false;
  }
  const std::string& base = bases.front();
  std::string pattern = base + "/" + kFolderPrefix + std::to_string(::getpid()) + kRandomTemplate;
  if (pattern.size() + name.size() + 2 > kMaxPathSize) {
    reason = "the path of " + base + " is too long";
    return false;
  }
  {
    // The handler is in place before the folder can hold anything.
    const SignalsBlocked blocked(EndingSignals());
    if (::mkdtemp(pattern.data()) == nullptr) {
      reason = "no folder can be made in " + base;
      return false;
    }
    // Held until the folder is gone: a later run leaves a folder alone
    // while its lock is held.
    UniqueFd opened(::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (opened.get() < 0 || ::flock(opened.get(), LOCK_EX | LOCK_NB) != 0) {
      ::rmdir(pattern.c_str());
      reason = "no folder can be made in " + base;
      return false;
    }
    room = opened.release();
    folder = pattern;
    file = folder + "/" + name;
    HookSignals(room, folder, name);
  }
  UniqueFd fd(
      ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kOwnerOnlyFile));
  const bool written = fd.get() >= 0 && WriteFully(fd.get(), text.data(), text.size());
  // Closed here, not by the owner: a failing close may mean a failed write.
  const bool closed = fd.get() >= 0 && ::close(fd.release()) == 0;
  if (!written || !closed) {
    reason = "the file cannot be written in " + base;
    return false;  // the destructor removes what was made
  }
  return true;
}

bool PrivateFile::ReadBack(std::size_t max_size, std::string& text) const {
  const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return false;
  struct stat status {};
  std::string read;
  ScopedWipe<std::string> wipe(read);
  bool ok = ::fstat(fd.get(), &status) == 0 && S_ISREG(status.st_mode) &&
            static_cast<std::size_t>(status.st_size) <= max_size;
  if (ok) {
    read.resize(static_cast<std::size_t>(status.st_size));
    ok = ReadFully(fd.get(), read.data(), read.size());
  }
  if (!ok) return false;
  WipeString(text);
  text.swap(read);
  return true;
}

}  // namespace platform
