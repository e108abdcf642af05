// Files.h on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sodium.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "suite/platform/DescriptorPosix.h"
#include "suite/platform/FileNames.h"
#include "suite/platform/Files.h"
#include "suite/platform/Heap.h"
#include "suite/platform/LockWait.h"
#include "suite/platform/OwnerOnly.h"
#include "suite/platform/Process.h"
#include "suite/platform/SignalCleanupPosix.h"
#include "suite/platform/TrustedPath.h"

namespace platform {
namespace {

constexpr mode_t kPermissionBits = 0777;
constexpr mode_t kGroupBits = 0070;
constexpr mode_t kGroupOrOtherBits = 0077;
constexpr mode_t kOwnerOnlyMode = 0600;

// "'path'", as every reason names a path.
std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// A refusal of the system: "what 'path' failed: its error".
FileResult SystemFailure(const char* what, const std::string& path, int error) {
  return {FileResult::kFailed,
          std::string(what) + " " + Quoted(path) + " failed: " + std::strerror(error)};
}

FileResult FromOpenError(int error, const std::string& path) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return FileResult::kNotFound;
    case ENAMETOOLONG:
      return {FileResult::kBadPath, "path too long for the system (" + std::to_string(path.size()) +
                                        " bytes): " + Quoted(path)};
    case ELOOP:
      return {FileResult::kBadPath, "path " + Quoted(path) + " is a loop of symbolic links"};
    default: return SystemFailure("opening", path, error);
  }
}

// Opens the existing file at `path` for reading into `fd` and stores its
// status. O_NONBLOCK keeps a FIFO from holding us up until a writer comes;
// only a regular file is accepted (kWrongSize otherwise).
// `folder` is AT_FDCWD or a folder that `path` is relative to; `shown`
// names the file in a reason.
FileResult OpenRegularFile(int folder, const std::string& path, const std::string& shown,
                           int extra_flags, UniqueFd& fd, struct stat& status) {
  UniqueFd opened(
      ::openat(folder, path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | extra_flags));
  if (opened.get() < 0) return FromOpenError(errno, shown);
  if (::fstat(opened.get(), &status) != 0) return SystemFailure("examining", shown, errno);
  if (!S_ISREG(status.st_mode)) {
    return {FileResult::kWrongSize, Quoted(shown) + " is not a regular file"};
  }
  const int flags = ::fcntl(opened.get(), F_GETFL);
  if (flags < 0 || ::fcntl(opened.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return SystemFailure("opening", shown, errno);
  }
  fd.Reset(opened.release());
  return FileResult::kOk;
}

// Reads the open file `fd`, with `status`, found at `path`.
FileResult ReadOpenFile(int fd, const struct stat& status, const std::string& path,
                        std::size_t max_size, std::vector<unsigned char>& contents,
                        std::size_t count = std::numeric_limits<std::size_t>::max()) {
  if (static_cast<std::uint64_t>(status.st_size) > max_size) {
    return {FileResult::kWrongSize, Quoted(path) + " holds " + std::to_string(status.st_size) +
                                        " bytes, beyond the limit of " + std::to_string(max_size)};
  }
  const std::size_t size = std::min(static_cast<std::size_t>(status.st_size), count);
  ReadyHeapForFile(size, HeapUse::kStoreFile);
  std::vector<unsigned char> read(size);
  // Stores are replaced, never shrunk in place: a file that ends early fails.
  errno = 0;
  if (!ReadFully(fd, read.data(), read.size())) {
    if (errno != 0) return SystemFailure("reading", path, errno);
    return {FileResult::kFailed, Quoted(path) + " ended while it was read"};
  }
  contents = std::move(read);
  return FileResult::kOk;
}

// Takes the lock of the open lock file `fd` if no one holds it: kOk, kBusy,
// or kFailed.
FileResult TryLock(int fd) {
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked == 0) return FileResult::kOk;
  return errno == EWOULDBLOCK ? FileResult::kBusy : FileResult::kFailed;
}

// Syncs an open folder so that names just added to it or renamed in it
// survive a crash of the system.
bool SyncFolder(int folder) { return ::fsync(folder) == 0; }

// Stores in `target` the file that `path` names: the path itself, or the
// end of the symbolic links there, so a rewrite replaces the linked file
// and keeps the link. kBadPath when a link leads nowhere: writing there
// would replace the link by a file nobody else looks at.
FileResult ResolvePath(const std::string& path, std::string& target) {
  struct stat status;
  if (::lstat(path.c_str(), &status) != 0) {
    if (errno == ENAMETOOLONG) return FromOpenError(errno, path);
    target = path;  // nothing there yet, or an error the open will report
    return FileResult::kOk;
  }
  if (!S_ISLNK(status.st_mode)) {
    target = path;
    return FileResult::kOk;
  }
  const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                             &std::free);
  if (resolved == nullptr) {
    return {FileResult::kBadPath, "path " + Quoted(path) +
                                      " is a symbolic link that leads to no file (" +
                                      std::strerror(errno) + ")"};
  }
  target = resolved.get();
  return FileResult::kOk;
}

// Opens the folder of `path` into `folder` and stores the file's name in
// it in `name`; with `make_folders` the missing folders are made first.
FileResult OpenFolderOf(const std::string& path, bool make_folders, UniqueFd& folder,
                        std::string& name) {
  const std::string folder_path = ParentFolder(path);
  if (make_folders && !MakeOwnerOnlyFolders(folder_path)) {
    return {FileResult::kBadPath,
            "cannot make the folder " + Quoted(folder_path) + ": " + std::strerror(errno)};
  }
  folder.Reset(::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0) return FromOpenError(errno, folder_path);
  const std::size_t slash = path.find_last_of('/');
  name = slash == std::string::npos ? path : path.substr(slash + 1);
  return FileResult::kOk;
}

// Gives the new file `fd` the old file's owner, group and permissions, so
// an account that could use the file still can. What cannot be reproduced
// is narrowed, never widened: without the old group, the group's bits go.
bool KeepAccess(int fd, const struct stat& old) {
  mode_t mode = old.st_mode & kPermissionBits;
  if (::fchown(fd, old.st_uid, old.st_gid) != 0 &&
      ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    mode &= ~kGroupBits;
  }
  return ::fchmod(fd, mode) == 0;
}

// The signals that end a run by default and must not leave a named
// temporary behind (SIGQUIT, which asks for a core, is left as it is).
const sigset_t kCleanupSignals = SignalSet({SIGINT, SIGTERM, SIGHUP});
constexpr char kOpenFdFolder[] = "/proc/self/fd/";

// The named temporary the clean-up below removes. Written only while the
// cleanup signals are blocked in the writing thread and by one writer at a
// time (`registration`), so the handler never sees it half written.
std::mutex registration;
int registered_folder = -1;
char registered_name[NAME_MAX + 1];
volatile std::sig_atomic_t registered = 0;

// Removes the registered temporary. Only async-signal-safe calls.
void RemoveRegisteredTemporary(int /*signal_number*/) {
  if (registered) ::unlinkat(registered_folder, registered_name, 0);
  registered = 0;
}

using TemporaryCleanup = SignalCleanup<RemoveRegisteredTemporary>;

// REQUIRES: `registration` held, the cleanup signals blocked.
void RegisterTemporary(int folder, const std::string& temp,
                       std::optional<TemporaryCleanup>& cleanup) {
  std::memcpy(registered_name, temp.c_str(), temp.size() + 1);
  registered_folder = folder;
  registered = 1;
  cleanup.emplace(kCleanupSignals);
}

// REQUIRES: `registration` held, the cleanup signals blocked.
void UnregisterTemporary(std::optional<TemporaryCleanup>& cleanup) {
  registered = 0;
  cleanup.reset();
}

// A file written in a folder before it gets its name, so a run that dies
// midway leaves no part of it: on Linux an unnamed file (O_TMPFILE), which
// vanishes with the process however it ends; elsewhere, or where the file
// system has none, a named temporary removed on every exit path and, while
// it exists, by SIGINT, SIGTERM and SIGHUP (one writer at a time holds a
// named temporary). Destroyed unfinished, it leaves nothing behind. A
// named temporary carries the writer's process id in its name, and the
// writer holds a lock on it, so that what a killed writer leaves (SIGKILL,
// or between naming an unnamed file and renaming it) is told from the
// temporary of a writer still at work: RemoveDeadTemporaries removes the
// first kind only.
class PendingFile {
 public:
  // `shown` names the file in the reason of a failure.
  PendingFile(int folder, const std::string& name, const std::string& shown)
      : folder(folder), name(name), shown(shown) {}
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile() { RemoveTemporary(); }

  // Makes the file and writes `data` to it, synced to disk. It takes `old`'s
  // access when given, and `mode` otherwise.
  FileResult Write(const unsigned char* data, std::size_t size, const struct stat* old,
                   mode_t mode = kOwnerOnlyMode) {
    if (!OpenUnnamed() && !OpenNamed()) return SystemFailure("making a file beside", shown, errno);
    // Held until the file is closed; where the system has no such lock, the
    // process id in the name suffices.
    static_cast<void>(::flock(fd.get(), LOCK_EX | LOCK_NB));
    const bool written = (old != nullptr ? KeepAccess(fd.get(), *old)
                                         : ::fchmod(fd.get(), mode) == 0) &&
                         WriteFully(fd.get(), data, size) && ::fsync(fd.get()) == 0;
    if (!written) return SystemFailure("writing", shown, errno);
    return FileResult::kOk;
  }

  // Gives the written file the name, which must be free: link, unlike
  // rename, refuses to replace, so two processes creating the same file
  // cannot overwrite each other, and the loser learns it must read what
  // the winner wrote.
  FileResult Link() {
    int linked;
    if (temp.empty()) {
      const std::string open_file = kOpenFdFolder + std::to_string(fd.get());
      linked = ::linkat(AT_FDCWD, open_file.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW);
    } else {
      linked = ::linkat(folder, temp.c_str(), folder, name.c_str(), 0);
    }
    const int link_error = errno;
    RemoveTemporary();
    if (linked != 0 && link_error == EEXIST) return FileResult::kExists;
    if (linked != 0) return SystemFailure("naming", shown, link_error);
    // The file is in place; a failed folder sync only weakens its durability
    // across a power loss, and reporting failure now would be false.
    static_cast<void>(SyncFolder(folder));
    return FileResult::kOk;
  }

  // Gives the written file the name, replacing what is there in one step.
  FileResult RenameOver() {
    // Rename needs a name to move: an unnamed file gets a temporary one,
    // registered for removal like any other.
    if (temp.empty() && !NameUnnamed()) return SystemFailure("naming a file beside", shown, errno);
    const SignalsBlocked blocked(kCleanupSignals);
    if (::renameat(folder, temp.c_str(), folder, name.c_str()) != 0) {
      return SystemFailure("replacing", shown, errno);
    }
    temp.clear();
    UnregisterTemporary(cleanup);
    armed.unlock();
    static_cast<void>(SyncFolder(folder));
    return FileResult::kOk;
  }

 private:
  bool OpenUnnamed() {
#if defined(O_TMPFILE)
    // Naming it later goes through /proc; without it, a named temporary.
    if (::access(kOpenFdFolder, X_OK) != 0) return false;
    fd.Reset(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, kOwnerOnlyMode));
    return fd.get() >= 0;
#else
    return false;
#endif
  }

  // Makes a named temporary, registered for removal before a signal can
  // find it.
  bool OpenNamed() {
    armed = std::unique_lock<std::mutex>(registration);
    const SignalsBlocked blocked(kCleanupSignals);
    std::string made;
    for (int attempt = 0; fd.get() < 0 && attempt < 100; ++attempt) {
      made = TempName(name, static_cast<std::uint32_t>(::getpid()));
      fd.Reset(::openat(folder, made.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kOwnerOnlyMode));
      if (fd.get() < 0 && errno != EEXIST && errno != EINTR) break;
    }
    if (fd.get() < 0) {
      armed.unlock();
      return false;
    }
    temp = std::move(made);
    RegisterTemporary(folder, temp, cleanup);
    return true;
  }

  // Links the written unnamed file to a registered temporary name.
  bool NameUnnamed() {
    armed = std::unique_lock<std::mutex>(registration);
    const SignalsBlocked blocked(kCleanupSignals);
    const std::string open_file = kOpenFdFolder + std::to_string(fd.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string made = TempName(name, static_cast<std::uint32_t>(::getpid()));
      if (::linkat(AT_FDCWD, open_file.c_str(), folder, made.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temp = made;
        RegisterTemporary(folder, temp, cleanup);
        return true;
      }
      if (errno != EEXIST) break;
    }
    armed.unlock();
    return false;
  }

  void RemoveTemporary() {
    if (temp.empty()) return;
    const SignalsBlocked blocked(kCleanupSignals);
    ::unlinkat(folder, temp.c_str(), 0);
    temp.clear();
    UnregisterTemporary(cleanup);
    armed.unlock();
  }

  int folder;
  std::string name;
  std::string shown;
  UniqueFd fd;
  std::string temp;  // the named temporary, empty while there is none
  std::unique_lock<std::mutex> armed;  // `registration`, held while `temp` is named
  std::optional<TemporaryCleanup> cleanup;  // in place while `temp` is named
};

struct CloseListing {
  void operator()(DIR* listing) const { ::closedir(listing); }
};

// True when the process `writer`, which named the temporary `found` in
// `folder`, has ended: no process has its id (one of another user still
// counts), and no one holds the lock a writer takes on its temporary (the
// id of a writer in another process-id namespace that shares the folder
// means nothing here, but its lock holds). Where the lock cannot be
// tried, the id decides.
bool WriterIsGone(int folder, const std::string& found, std::uint32_t writer) {
  if (!ProcessIsGone(writer)) return false;
  const UniqueFd fd(
      ::openat(folder, found.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  return fd.get() < 0 || TryLock(fd.get()) != FileResult::kBusy;
}

// Removes from the folder `folder` the temporaries of the file `name`
// whose writers have gone, so a file replaced outside any lock (an output
// file, a key) does not keep what a killed writer left beside it. With
// `locked` the caller holds the writers' lock of the folder, under which a
// store's temporaries are made: a temporary named without its writer's id
// (by an earlier version) is dead then too.
void RemoveDeadTemporaries(int folder, const std::string& name, bool locked) {
  const std::string prefix = TempNamePrefix(name);
  UniqueFd listed(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (listed.get() < 0) return;
  const std::unique_ptr<DIR, CloseListing> listing(::fdopendir(listed.get()));
  if (listing == nullptr) return;
  static_cast<void>(listed.release());  // closedir closes it now
  std::vector<std::string> dead;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string found = entry->d_name;
    struct stat status;
    std::uint32_t writer = 0;
    if (ReadTempName(found, prefix, writer) &&
        ::fstatat(folder, found.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode) &&
        (writer == 0 ? locked : WriterIsGone(folder, found, writer))) {
      dead.push_back(found);
    }
  }
  for (const std::string& found : dead) static_cast<void>(::unlinkat(folder, found.c_str(), 0));
}

// Why the secret file `path` with `status` must not be trusted, or null.
const char* DistrustOfFile(const struct stat& status) {
  if (!S_ISREG(status.st_mode)) return "it is not a regular file";
  if (status.st_uid != ::geteuid()) return "it is owned by another user";
  if ((status.st_mode & kGroupOrOtherBits) != 0) return "group or others have access to it";
  return nullptr;
}

// Opens in `fd` the lock file `name` of the open folder `folder` (`shown`
// in reasons): made new, owner-only, when it is missing; otherwise taken
// only when it is what a lock file of ours is, an empty owner-only file of
// the running user with no other name. A file found there is never adopted
// or handed to anyone: a file of content put at the lock's name (a key, a
// plaintext) is refused, not locked, and keeps its owner and mode.
FileResult OpenLockFile(int folder, const std::string& name, const std::string& shown,
                        UniqueFd& fd) {
  constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  UniqueFd opened(::openat(folder, name.c_str(), kFlags | O_CREAT | O_EXCL, kOwnerOnlyMode));
  if (opened.get() >= 0) {
    static_cast<void>(::fchmod(opened.get(), kOwnerOnlyMode));  // whatever the umask
    fd.Reset(opened.release());
    return FileResult::kOk;
  }
  if (errno == EEXIST) opened.Reset(::openat(folder, name.c_str(), kFlags));
  if (opened.get() < 0) {
    const int error = errno;
    return {error == ELOOP ? FileResult::kUntrusted : FileResult::kFailed,
            "lock file " + Quoted(shown) + " cannot be opened: " + std::strerror(error)};
  }
  struct stat status;
  if (::fstat(opened.get(), &status) != 0) return SystemFailure("examining", shown, errno);
  if (!S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ||
      (status.st_mode & kGroupOrOtherBits) != 0 || status.st_nlink != 1 || status.st_size != 0) {
    return {FileResult::kUntrusted,
            "lock file " + Quoted(shown) +
                " refused: not an empty file of the running user's that only they may open; "
                "remove it if no writer is running"};
  }
  fd.Reset(opened.release());
  return FileResult::kOk;
}

// Takes the writers' lock of the file `target` in the open folder `folder`,
// waiting up to `wait_seconds`.
FileResult TakeWritersLock(int folder, const std::string& target, int wait_seconds,
                           UniqueFd& lock_fd) {
  const std::string shown = ParentFolder(target) + "/" + LockFileName(target);
  UniqueFd fd;
  const FileResult opened = OpenLockFile(folder, LockFileName(target), shown, fd);
  if (opened != FileResult::kOk) return opened;
  const FileResult waited = WaitForLock([&fd] { return TryLock(fd.get()); }, wait_seconds, shown);
  if (waited != FileResult::kOk) return waited;
  lock_fd.Reset(fd.release());
  return FileResult::kOk;
}

FileResult Distrust(const std::string& path, const char* reason) {
  return {FileResult::kUntrusted, Quoted(path) + " refused: " + reason};
}

}  // namespace

LockedFile::~LockedFile() {
  if (lock_fd >= 0) ::close(lock_fd);  // closing releases the flock
  if (folder >= 0) ::close(folder);
}

FileResult ReadHandedFile(const std::string& path, std::size_t max_size,
                          std::vector<unsigned char>& contents) {
  UniqueFd fd;
  struct stat status;
  const FileResult opened = OpenRegularFile(AT_FDCWD, path, path, 0, fd, status);
  if (opened != FileResult::kOk) return opened;
  return ReadOpenFile(fd.get(), status, path, max_size, contents);
}

FileResult ReadWholeFile(const std::string& path, std::size_t max_size,
                         std::vector<unsigned char>& contents) {
  if (FileResult trusted = CheckTrustedPath(path, LastLink::kFollowed); trusted != FileResult::kOk) {
    return trusted;
  }
  UniqueFd fd;
  struct stat status;
  const FileResult opened = OpenRegularFile(AT_FDCWD, path, path, 0, fd, status);
  if (opened != FileResult::kOk) return opened;
  return ReadOpenFile(fd.get(), status, path, max_size, contents);
}

FileResult ReadFileHead(const std::string& path, std::size_t max_size, std::size_t count,
                        std::vector<unsigned char>& head, std::uint64_t& size) {
  if (FileResult trusted = CheckTrustedPath(path, LastLink::kFollowed); trusted != FileResult::kOk) {
    return trusted;
  }
  UniqueFd fd;
  struct stat status;
  FileResult result = OpenRegularFile(AT_FDCWD, path, path, 0, fd, status);
  if (result == FileResult::kOk) {
    result = ReadOpenFile(fd.get(), status, path, max_size, head, count);
  }
  if (result == FileResult::kOk) size = static_cast<std::uint64_t>(status.st_size);
  return result;
}

FileResult ReadSecretFile(const std::string& path, std::size_t min_size, std::size_t max_size,
                          std::vector<unsigned char>& contents) {
  FileResult result = CheckTrustedPath(path, LastLink::kRefused);
  if (result != FileResult::kOk) return result;
  UniqueFd folder;
  std::string name;
  result = OpenFolderOf(path, false, folder, name);
  if (result == FileResult::kNotFound) return result;
  if (result != FileResult::kOk) return {FileResult::kFailed, result.GetReason()};
  struct stat status;
  UniqueFd fd;
  // O_NOFOLLOW: a link swapped in since the check above fails to open.
  result = OpenRegularFile(folder.get(), name, path, O_NOFOLLOW, fd, status);
  if (result == FileResult::kWrongSize) return Distrust(path, "it is not a regular file");
  if (result != FileResult::kOk) return result;
  if (const char* reason = DistrustOfFile(status)) return Distrust(path, reason);
  const auto file_size = static_cast<std::uint64_t>(status.st_size);
  const std::string sizes =
      " bytes, not " + std::to_string(min_size) + " to " + std::to_string(max_size);
  if (file_size < min_size || file_size > max_size) {
    return {FileResult::kWrongSize,
            Quoted(path) + " refused: it holds " + std::to_string(file_size) + sizes};
  }
  std::vector<unsigned char> read;
  result = ReadOpenFile(fd.get(), status, path, max_size, read);
  if (result == FileResult::kOk && read.size() < min_size) {
    result = {FileResult::kWrongSize,
              Quoted(path) + " refused: it held " + std::to_string(read.size()) + sizes};
  }
  // The vector was sized once by the read, so it is the only copy to wipe.
  if (result != FileResult::kOk) {
    sodium_memzero(read.data(), read.size());
    return result;
  }
  contents.swap(read);
  return FileResult::kOk;
}

FileResult LockAndReadFile(const std::string& path, std::size_t max_size, LockedFile& lock,
                           std::vector<unsigned char>& contents) {
  FileResult result = CheckTrustedPath(path, LastLink::kFollowed);
  if (result != FileResult::kOk) return result;
  std::string target;
  result = ResolvePath(path, target);
  if (result != FileResult::kOk) return result;
  // The folder is made first so that even the first file in it is created
  // under the lock: a temporary seen under it is always dead.
  UniqueFd folder;
  std::string name;
  if ((result = OpenFolderOf(target, true, folder, name)) != FileResult::kOk) return result;
  UniqueFd lock_fd;
  result = TakeWritersLock(folder.get(), target, lock.wait_seconds, lock_fd);
  if (result != FileResult::kOk) return result;
  RemoveDeadTemporaries(folder.get(), name, true);
  // From here on the file is reached through the locked folder only, and a
  // link found at its name now (swapped in since the path was resolved) is
  // refused, not followed.
  UniqueFd fd;
  struct stat status;
  result = OpenRegularFile(folder.get(), name, target, O_NOFOLLOW, fd, status);
  if (result == FileResult::kOk) {
    result = ReadOpenFile(fd.get(), status, target, max_size, contents);
  }
  if (result != FileResult::kOk && result != FileResult::kNotFound) return result;
  if (lock.folder >= 0) ::close(lock.folder);
  if (lock.lock_fd >= 0) ::close(lock.lock_fd);
  lock.folder = folder.release();
  lock.lock_fd = lock_fd.release();
  lock.path = target;
  lock.name = name;
  lock.read = result == FileResult::kOk;
  lock.identity[0] = lock.read ? static_cast<std::uint64_t>(status.st_dev) : 0;
  lock.identity[1] = lock.read ? static_cast<std::uint64_t>(status.st_ino) : 0;
  return result;
}

FileResult CreateLockedFile(LockedFile& lock, const unsigned char* data, std::size_t size) {
  if (lock.folder < 0) return {FileResult::kFailed, "no file is locked"};
  PendingFile file(lock.folder, lock.name, lock.path);
  const FileResult written = file.Write(data, size, nullptr);
  return written == FileResult::kOk ? file.Link() : written;
}

FileResult ReplaceLockedFile(LockedFile& lock, const unsigned char* data, std::size_t size) {
  if (lock.folder < 0 || !lock.read) return {FileResult::kFailed, "no file read is locked"};
  struct stat old;
  if (::fstatat(lock.folder, lock.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(old.st_mode) || static_cast<std::uint64_t>(old.st_dev) != lock.identity[0] ||
      static_cast<std::uint64_t>(old.st_ino) != lock.identity[1]) {
    return {FileResult::kChanged,
            Quoted(lock.path) + " was replaced by something else while it was locked"};
  }
  PendingFile file(lock.folder, lock.name, lock.path);
  const FileResult written = file.Write(data, size, &old);
  return written == FileResult::kOk ? file.RenameOver() : written;
}

FileResult CreateFileAtomically(const std::string& path, const unsigned char* data,
                                std::size_t size, bool make_folders, std::uint32_t mode) {
  if (FileResult trusted = CheckTrustedPath(path, LastLink::kRefused); trusted != FileResult::kOk) {
    return trusted;
  }
  UniqueFd folder;
  std::string name;
  const FileResult opened = OpenFolderOf(path, make_folders, folder, name);
  if (opened == FileResult::kBadPath) return opened;  // a folder that cannot be made
  if (opened != FileResult::kOk) return {FileResult::kFailed, opened.GetReason()};
  RemoveDeadTemporaries(folder.get(), name, false);
  PendingFile file(folder.get(), name, path);
  const FileResult written = file.Write(data, size, nullptr, static_cast<mode_t>(mode));
  return written == FileResult::kOk ? file.Link() : written;
}

FileResult ReplaceFileAtomically(const std::string& path, const unsigned char* data,
                                 std::size_t size, Replacement how, std::uint32_t mode) {
  // The entry itself is replaced when it is not kept: only its folders matter.
  const FileResult trusted =
      how == Replacement::kKeepAccess ? CheckTrustedPath(path, LastLink::kFollowed)
                                      : CheckTrustedPath(ParentFolder(path), LastLink::kFollowed);
  if (trusted != FileResult::kOk) return trusted;
  std::string target = path;
  if (how == Replacement::kKeepAccess) {
    const FileResult resolved = ResolvePath(path, target);
    if (resolved != FileResult::kOk) return {FileResult::kFailed, resolved.GetReason()};
  }
  UniqueFd folder;
  std::string name;
  const FileResult opened = OpenFolderOf(target, false, folder, name);
  if (opened != FileResult::kOk) return {FileResult::kFailed, opened.GetReason()};
  RemoveDeadTemporaries(folder.get(), name, false);
  struct stat old;
  const bool keep = how == Replacement::kKeepAccess &&
                    ::fstatat(folder.get(), name.c_str(), &old, 0) == 0 && S_ISREG(old.st_mode);
  PendingFile file(folder.get(), name, target);
  const FileResult written =
      file.Write(data, size, keep ? &old : nullptr, static_cast<mode_t>(mode));
  return written == FileResult::kOk ? file.RenameOver() : written;
}

ExclusiveLock::~ExclusiveLock() {
  if (fd >= 0) ::close(fd);  // closing releases the flock
}

FileResult TakeExclusiveLock(const std::string& path, ExclusiveLock& lock) {
  FileResult result = CheckTrustedPath(path, LastLink::kRefused);
  if (result != FileResult::kOk) return result;
  UniqueFd folder;
  std::string name;
  if ((result = OpenFolderOf(path, true, folder, name)) != FileResult::kOk) return result;
  UniqueFd fd;
  if ((result = OpenLockFile(folder.get(), name, path, fd)) != FileResult::kOk) return result;
  const FileResult locked = TryLock(fd.get());
  if (locked != FileResult::kOk) return locked;
  if (lock.fd >= 0) ::close(lock.fd);
  lock.fd = fd.release();
  return FileResult::kOk;
}

std::vector<std::string> ListFilesNamed(const std::string& path, const std::string& suffix) {
  UniqueFd folder;
  std::string name;
  std::vector<std::string> names;
  if (OpenFolderOf(path, false, folder, name) != FileResult::kOk) return names;
  const std::string prefix = name + suffix;
  const std::unique_ptr<DIR, CloseListing> listing(::fdopendir(folder.get()));
  if (listing == nullptr) return names;
  const int listed = folder.release();  // closedir closes it now
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string found = entry->d_name;
    struct stat status;
    if (found.size() > prefix.size() && found.compare(0, prefix.size(), prefix) == 0 &&
        ::fstatat(listed, found.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode)) {
      names.push_back(found);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

// Opens for writing, with `flags` beside those every such open takes, the
// file at `path` the trust rule allows, made owner-only when missing; a
// link at its name, or anything but an owner-only file of the running
// user's with one name, is refused.
FileResult OpenOwnFileToWrite(const std::string& path, int flags, UniqueFd& fd) {
  if (FileResult trusted = CheckTrustedPath(path, LastLink::kRefused); trusted != FileResult::kOk) {
    return trusted;
  }
  fd.Reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | flags,
                  kOwnerOnlyMode));
  if (fd.get() < 0) return FromOpenError(errno, path);
  struct stat status;
  if (::fstat(fd.get(), &status) != 0) return SystemFailure("examining", path, errno);
  if (!S_ISREG(status.st_mode) || status.st_uid != ::geteuid() || status.st_nlink != 1 ||
      (status.st_mode & kGroupOrOtherBits) != 0) {
    return Distrust(path, "not an owner-only file of the running user's with one name");
  }
  return FileResult::kOk;
}

}  // namespace

FileResult RewriteSmallFile(const std::string& path, const unsigned char* data,
                            std::size_t size) {
  UniqueFd fd;
  const FileResult opened = OpenOwnFileToWrite(path, 0, fd);
  if (opened != FileResult::kOk) return opened;
  if (!WriteFully(fd.get(), data, size) || ::ftruncate(fd.get(), static_cast<off_t>(size)) != 0) {
    return SystemFailure("writing", path, errno);
  }
  return FileResult::kOk;
}

FileResult ReadFileTail(const std::string& path, std::size_t count,
                        std::vector<unsigned char>& tail) {
  if (FileResult trusted = CheckTrustedPath(path, LastLink::kRefused); trusted != FileResult::kOk) {
    return trusted;
  }
  UniqueFd fd;
  struct stat status;
  const FileResult opened = OpenRegularFile(AT_FDCWD, path, path, O_NOFOLLOW, fd, status);
  if (opened != FileResult::kOk) return opened;
  const auto size = static_cast<std::size_t>(status.st_size);
  const std::size_t from = size > count ? size - count : 0;
  std::vector<unsigned char> read(size - from);
  std::size_t done = 0;
  while (done < read.size()) {
    const ssize_t got = ::pread(fd.get(), read.data() + done, read.size() - done,
                                static_cast<off_t>(from + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return SystemFailure("reading", path, errno);
    if (got == 0) break;  // cut short since: what is there
    done += static_cast<std::size_t>(got);
  }
  read.resize(done);
  tail = std::move(read);
  return FileResult::kOk;
}

FileResult AppendToFile(const std::string& path, const unsigned char* data, std::size_t size) {
  UniqueFd fd;
  const FileResult opened = OpenOwnFileToWrite(path, O_APPEND | O_NOCTTY, fd);
  if (opened != FileResult::kOk) return opened;
  if (!WriteFully(fd.get(), data, size)) return SystemFailure("writing", path, errno);
  return FileResult::kOk;
}

FileResult RemoveFile(const std::string& path) {
  if (FileResult trusted = CheckTrustedPath(ParentFolder(path), LastLink::kFollowed);
      trusted != FileResult::kOk) {
    return trusted;
  }
  UniqueFd folder;
  std::string name;
  const FileResult opened = OpenFolderOf(path, false, folder, name);
  if (opened != FileResult::kOk) return opened;
  if (::unlinkat(folder.get(), name.c_str(), 0) != 0) {
    return errno == ENOENT ? FileResult::kNotFound : FileResult::kFailed;
  }
  return SyncFolder(folder.get()) ? FileResult::kOk : FileResult::kFailed;
}

bool IsAccessDenied(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return errno == EACCES;
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (S_ISDIR(status.st_mode) ? O_DIRECTORY : 0);
  const UniqueFd fd(::open(path.c_str(), flags));
  return fd.get() < 0 && (errno == EACCES || errno == EPERM);
}

}  // namespace platform
