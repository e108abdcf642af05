// Files.h on POSIX systems.
#if !defined(_WIN32)
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sodium.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/Log.h"
#include "suite/platform/FileNames.h"
#include "suite/platform/Files.h"
#include "suite/platform/OwnerOnly.h"

namespace platform {
namespace {

constexpr mode_t kPermissionBits = 0777;
constexpr mode_t kGroupBits = 0070;
constexpr mode_t kGroupOrOtherBits = 0077;
constexpr mode_t kGroupOrOtherWrite = 0022;
constexpr mode_t kOwnerOnlyMode = 0600;
constexpr char kRootHostKeyPath[] = "/var/lib/kelvox/host.key";
constexpr char kUserStateFolder[] = ".local/state";
constexpr char kHostKeyFolder[] = "kelvox";
constexpr char kHostKeyFileName[] = "host.key";

// A file descriptor closed on destruction.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(-1); }
  int get() const { return fd; }
  int release() { return std::exchange(fd, -1); }
  void Reset(int other) {
    if (fd >= 0) ::close(fd);
    fd = other;
  }

 private:
  int fd;
};

FileResult FromOpenError(int error, const std::string& path) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return FileResult::kNotFound;
    case ENAMETOOLONG:
      KLOG(1) << "path too long for the system (" << path.size() << " bytes): '" << path << "'";
      return FileResult::kBadPath;
    case ELOOP:
      KLOG(1) << "path '" << path << "' is a loop of symbolic links";
      return FileResult::kBadPath;
    default: return FileResult::kFailed;
  }
}

// Opens the existing file at `path` for reading into `fd` and stores its
// status. O_NONBLOCK keeps a FIFO from holding us up until a writer comes;
// only a regular file is accepted (kWrongSize otherwise).
// `folder` is AT_FDCWD or a folder that `path` is relative to.
FileResult OpenRegularFile(int folder, const std::string& path, int extra_flags, UniqueFd& fd,
                           struct stat& status) {
  UniqueFd opened(
      ::openat(folder, path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | extra_flags));
  if (opened.get() < 0) return FromOpenError(errno, path);
  if (::fstat(opened.get(), &status) != 0) return FileResult::kFailed;
  if (!S_ISREG(status.st_mode)) return FileResult::kWrongSize;
  const int flags = ::fcntl(opened.get(), F_GETFL);
  if (flags < 0 || ::fcntl(opened.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return FileResult::kFailed;
  }
  fd.Reset(opened.release());
  return FileResult::kOk;
}

bool WriteAll(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

FileResult ReadOpenFile(int fd, const struct stat& status, std::size_t max_size,
                        std::vector<unsigned char>& contents) {
  if (static_cast<std::uint64_t>(status.st_size) > max_size) {
    KLOG(1) << "file of " << status.st_size << " bytes exceeds the limit of " << max_size
            << " bytes";
    return FileResult::kWrongSize;
  }
  std::vector<unsigned char> read(static_cast<std::size_t>(status.st_size));
  std::size_t done = 0;
  while (done < read.size()) {
    const ssize_t got = ::read(fd, read.data() + done, read.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return FileResult::kFailed;  // stores are replaced, never shrunk in place
    done += static_cast<std::size_t>(got);
  }
  contents = std::move(read);
  return FileResult::kOk;
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
    KLOG(1) << "path '" << path << "' is a symbolic link that leads to no file ("
            << std::strerror(errno) << ")";
    return FileResult::kBadPath;
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
    KLOG(1) << "cannot make the folder '" << folder_path << "': " << std::strerror(errno);
    return FileResult::kBadPath;
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

// Writes `data` to a new owner-only temporary in `folder` beside the file
// `name`, synced to disk, and stores its name in `temp`. It takes `old`'s
// access when given. Nothing is left behind on failure.
bool WriteTempFile(int folder, const std::string& name, const unsigned char* data,
                   std::size_t size, const struct stat* old, std::string& temp) {
  UniqueFd fd;
  std::string made;
  for (int attempt = 0; fd.get() < 0 && attempt < 100; ++attempt) {
    made = TempNamePrefix(name) + TempRandomPart();
    fd.Reset(::openat(folder, made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                      kOwnerOnlyMode));
    if (fd.get() < 0 && errno != EEXIST && errno != EINTR) break;
  }
  if (fd.get() < 0) return false;
  const bool written = (old != nullptr ? KeepAccess(fd.get(), *old)
                                       : ::fchmod(fd.get(), kOwnerOnlyMode) == 0) &&
                       WriteAll(fd.get(), data, size) && ::fsync(fd.get()) == 0;
  const int write_error = errno;
  const bool closed = ::close(fd.release()) == 0;
  if (!written || !closed) {
    KLOG(1) << "writing '" << name << "' failed: " << std::strerror(written ? errno : write_error);
    ::unlinkat(folder, made.c_str(), 0);
    return false;
  }
  temp = std::move(made);
  return true;
}

// Gives the temporary `temp` in `folder` the name `name`, which must be
// free: link, unlike rename, refuses to replace, so two processes creating
// the same file cannot overwrite each other, and the loser learns it must
// read what the winner wrote.
FileResult LinkTempFile(int folder, const std::string& temp, const std::string& name) {
  const int linked = ::linkat(folder, temp.c_str(), folder, name.c_str(), 0);
  const int link_error = errno;
  ::unlinkat(folder, temp.c_str(), 0);
  if (linked != 0) return link_error == EEXIST ? FileResult::kExists : FileResult::kFailed;
  // The file is in place; a failed folder sync only weakens its durability
  // across a power loss, and reporting failure now would be false.
  static_cast<void>(SyncFolder(folder));
  return FileResult::kOk;
}

// Renames the temporary `temp` in `folder` over `name`.
FileResult RenameTempFile(int folder, const std::string& temp, const std::string& name) {
  if (::renameat(folder, temp.c_str(), folder, name.c_str()) != 0) {
    ::unlinkat(folder, temp.c_str(), 0);
    return FileResult::kFailed;
  }
  static_cast<void>(SyncFolder(folder));
  return FileResult::kOk;
}

struct CloseListing {
  void operator()(DIR* listing) const { ::closedir(listing); }
};

// Removes the temporaries of the file `name` from the folder `folder`,
// whose lock the caller holds: temporaries are only made under that lock,
// so any found now belongs to a writer that died.
void RemoveDeadTemporaries(int folder, const std::string& name) {
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
    if (found.size() == prefix.size() + kTempRandomSize &&
        found.compare(0, prefix.size(), prefix) == 0 &&
        ::fstatat(folder, found.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode)) {
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

// Why a secret file in the open folder `folder` must not be trusted, or
// null: anyone who may write to the folder may swap the file.
const char* DistrustOfFolder(int folder) {
  struct stat status;
  if (::fstat(folder, &status) != 0) return "its folder cannot be examined";
  if ((status.st_mode & kGroupOrOtherWrite) != 0) {
    return "its folder is writable by group or others";
  }
  return nullptr;
}

FileResult Distrust(const std::string& path, const char* reason) {
  KLOG(1) << "host key '" << path << "' refused: " << reason;
  return FileResult::kUntrusted;
}

}  // namespace

LockedFile::~LockedFile() {
  if (folder >= 0) ::close(folder);  // closing releases the flock
}

FileResult ReadWholeFile(const std::string& path, std::size_t max_size,
                         std::vector<unsigned char>& contents) {
  UniqueFd fd;
  struct stat status;
  const FileResult opened = OpenRegularFile(AT_FDCWD, path, 0, fd, status);
  if (opened != FileResult::kOk) return opened;
  return ReadOpenFile(fd.get(), status, max_size, contents);
}

FileResult ReadSecretFile(const std::string& path, std::size_t min_size, std::size_t max_size,
                          std::vector<unsigned char>& contents) {
  UniqueFd folder;
  std::string name;
  FileResult result = OpenFolderOf(path, false, folder, name);
  if (result == FileResult::kNotFound) return result;
  if (result != FileResult::kOk) return FileResult::kFailed;
  if (const char* reason = DistrustOfFolder(folder.get())) return Distrust(path, reason);
  struct stat status;
  if (::fstatat(folder.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISLNK(status.st_mode)) {
    return Distrust(path, "it is a symbolic link");
  }
  UniqueFd fd;
  // O_NOFOLLOW: a link swapped in since the check above fails to open.
  result = OpenRegularFile(folder.get(), name, O_NOFOLLOW, fd, status);
  if (result == FileResult::kWrongSize) return Distrust(path, "it is not a regular file");
  if (result != FileResult::kOk) return result;
  if (const char* reason = DistrustOfFile(status)) return Distrust(path, reason);
  const auto file_size = static_cast<std::uint64_t>(status.st_size);
  if (file_size < min_size || file_size > max_size) {
    KLOG(1) << "host key '" << path << "' refused: it holds " << file_size << " bytes, not "
            << min_size << " to " << max_size;
    return FileResult::kWrongSize;
  }
  std::vector<unsigned char> read;
  result = ReadOpenFile(fd.get(), status, max_size, read);
  if (result == FileResult::kOk && read.size() < min_size) result = FileResult::kWrongSize;
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
  std::string target;
  FileResult result = ResolvePath(path, target);
  if (result != FileResult::kOk) return result;
  // The folder is made first so that even the first file in it is created
  // under the lock: a temporary seen under it is always dead.
  UniqueFd folder;
  std::string name;
  if ((result = OpenFolderOf(target, true, folder, name)) != FileResult::kOk) return result;
  int locked;
  do {
    locked = ::flock(folder.get(), LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) return FileResult::kFailed;
  RemoveDeadTemporaries(folder.get(), name);
  // From here on the file is reached through the locked folder only, and a
  // link found at its name now (swapped in since the path was resolved) is
  // refused, not followed.
  UniqueFd fd;
  struct stat status;
  result = OpenRegularFile(folder.get(), name, O_NOFOLLOW, fd, status);
  if (result == FileResult::kOk) result = ReadOpenFile(fd.get(), status, max_size, contents);
  if (result != FileResult::kOk && result != FileResult::kNotFound) return result;
  if (lock.folder >= 0) ::close(lock.folder);
  lock.folder = folder.release();
  lock.path = target;
  lock.name = name;
  lock.read = result == FileResult::kOk;
  lock.identity[0] = lock.read ? static_cast<std::uint64_t>(status.st_dev) : 0;
  lock.identity[1] = lock.read ? static_cast<std::uint64_t>(status.st_ino) : 0;
  return result;
}

FileResult CreateLockedFile(LockedFile& lock, const unsigned char* data, std::size_t size) {
  std::string temp;
  if (lock.folder < 0 || !WriteTempFile(lock.folder, lock.name, data, size, nullptr, temp)) {
    return FileResult::kFailed;
  }
  return LinkTempFile(lock.folder, temp, lock.name);
}

FileResult ReplaceLockedFile(LockedFile& lock, const unsigned char* data, std::size_t size) {
  if (lock.folder < 0 || !lock.read) return FileResult::kFailed;
  struct stat old;
  if (::fstatat(lock.folder, lock.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(old.st_mode) || static_cast<std::uint64_t>(old.st_dev) != lock.identity[0] ||
      static_cast<std::uint64_t>(old.st_ino) != lock.identity[1]) {
    KLOG(1) << "'" << lock.path << "' was replaced by something else while it was locked";
    return FileResult::kChanged;
  }
  std::string temp;
  if (!WriteTempFile(lock.folder, lock.name, data, size, &old, temp)) return FileResult::kFailed;
  return RenameTempFile(lock.folder, temp, lock.name);
}

FileResult CreateFileAtomically(const std::string& path, const unsigned char* data,
                                std::size_t size, bool make_folders) {
  UniqueFd folder;
  std::string name;
  std::string temp;
  if (OpenFolderOf(path, make_folders, folder, name) != FileResult::kOk ||
      !WriteTempFile(folder.get(), name, data, size, nullptr, temp)) {
    return FileResult::kFailed;
  }
  return LinkTempFile(folder.get(), temp, name);
}

FileResult ReplaceFileAtomically(const std::string& path, const unsigned char* data,
                                 std::size_t size, Replacement how) {
  std::string target = path;
  if (how == Replacement::kKeepAccess && ResolvePath(path, target) != FileResult::kOk) {
    return FileResult::kFailed;
  }
  UniqueFd folder;
  std::string name;
  if (OpenFolderOf(target, false, folder, name) != FileResult::kOk) return FileResult::kFailed;
  struct stat old;
  const bool keep = how == Replacement::kKeepAccess &&
                    ::fstatat(folder.get(), name.c_str(), &old, 0) == 0 && S_ISREG(old.st_mode);
  std::string temp;
  if (!WriteTempFile(folder.get(), name, data, size, keep ? &old : nullptr, temp)) {
    return FileResult::kFailed;
  }
  return RenameTempFile(folder.get(), temp, name);
}

std::string DefaultHostKeyPath() {
  if (::geteuid() == 0) return kRootHostKeyPath;
  std::string home;
  if (const char* variable = std::getenv("HOME"); variable != nullptr && *variable != '\0') {
    home = variable;
  } else {
    struct passwd entry;
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
      home = found->pw_dir;
    }
  }
  if (home.empty()) return {};
  return home + "/" + kUserStateFolder + "/" + kHostKeyFolder + "/" + kHostKeyFileName;
}

}  // namespace platform

#endif  // !_WIN32
