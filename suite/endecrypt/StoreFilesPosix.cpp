// StoreFiles.h on POSIX systems.
#if !defined(_WIN32)
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sodium.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/Log.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreFiles.h"
#include "suite/endecrypt/StoreNames.h"

namespace endecrypt {
namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kPermissionBits = 0777;
constexpr mode_t kGroupBits = 0070;
constexpr mode_t kGroupOrOtherBits = 0077;
constexpr mode_t kGroupOrOtherWrite = 0022;
constexpr char kTempPattern[] = "XXXXXX";
static_assert(sizeof(kTempPattern) - 1 == kTempRandomSize);
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
FileResult OpenRegularFile(const std::string& path, int extra_flags, UniqueFd& fd,
                           struct stat& status) {
  UniqueFd opened(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | extra_flags));
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

// Syncs a folder so that names just added to it or renamed in it survive a
// crash of the system.
bool SyncFolder(const std::string& folder) {
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Creates `folder` and its missing ancestors, owner-only, and syncs the
// parent of each one made so the new names are durable.
bool MakeFolders(const std::string& folder) {
  if (IsFolder(folder)) return true;
  const std::string parent = ParentFolder(folder);
  if (parent != folder && !MakeFolders(parent)) return false;
  if (::mkdir(folder.c_str(), kFolderMode) != 0) return errno == EEXIST && IsFolder(folder);
  return SyncFolder(parent);
}

// Stores in `target` the file that `path` names: the path itself, or the
// end of the symbolic links there, so a rewrite replaces the linked file
// and keeps the link. kBadPath when a link leads nowhere: writing there
// would replace the link by a store nobody else looks at.
FileResult ResolveStorePath(const std::string& path, std::string& target) {
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
    KLOG(1) << "store path '" << path << "' is a symbolic link that leads to no file ("
            << std::strerror(errno) << ")";
    return FileResult::kBadPath;
  }
  target = resolved.get();
  return FileResult::kOk;
}

// Gives the new file `fd` the old file's owner, group and permissions, so
// an account that could use the store still can. What cannot be reproduced
// is narrowed, never widened: without the old group, the group's bits go.
bool KeepAccess(int fd, const struct stat& old) {
  mode_t mode = old.st_mode & kPermissionBits;
  if (::fchown(fd, old.st_uid, old.st_gid) != 0 &&
      ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    mode &= ~kGroupBits;
  }
  return ::fchmod(fd, mode) == 0;
}

// Writes `data` to a new file beside `path`, synced to disk, and stores its
// name in `temp`. The file is owner-only, or takes `old`'s access when
// given. Nothing is left behind on failure.
bool WriteTempFile(const std::string& path, const unsigned char* data, std::size_t size,
                   const struct stat* old, std::string& temp) {
  std::string name = ParentFolder(path) + "/" + TempNamePrefix(path) + kTempPattern;
  // mkostemp creates the file with mode 0600 and O_EXCL.
  UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
  if (fd.get() < 0) return false;
  const bool written = (old == nullptr || KeepAccess(fd.get(), *old)) &&
                       WriteAll(fd.get(), data, size) && ::fsync(fd.get()) == 0;
  const int write_error = errno;
  const bool closed = ::close(fd.release()) == 0;
  if (!written || !closed) {
    KLOG(1) << "writing '" << path << "' failed: " << std::strerror(written ? errno : write_error);
    ::unlink(name.c_str());
    return false;
  }
  temp = std::move(name);
  return true;
}

struct CloseListing {
  void operator()(DIR* listing) const { ::closedir(listing); }
};

// Removes the temporaries of the file at `path` from the folder `folder`,
// whose lock the caller holds: temporaries are only made under that lock,
// so any found now belongs to a writer that died.
void RemoveDeadTemporaries(int folder, const std::string& path) {
  const std::string prefix = TempNamePrefix(path);
  UniqueFd listed(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (listed.get() < 0) return;
  const std::unique_ptr<DIR, CloseListing> listing(::fdopendir(listed.get()));
  if (listing == nullptr) return;
  static_cast<void>(listed.release());  // closedir closes it now
  std::vector<std::string> dead;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string name = entry->d_name;
    struct stat status;
    if (name.size() == prefix.size() + kTempRandomSize &&
        name.compare(0, prefix.size(), prefix) == 0 &&
        ::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode)) {
      dead.push_back(name);
    }
  }
  for (const std::string& name : dead) static_cast<void>(::unlinkat(folder, name.c_str(), 0));
}

// Why the secret file `path` with `status` must not be trusted, or null.
const char* DistrustOfFile(const struct stat& status) {
  if (!S_ISREG(status.st_mode)) return "it is not a regular file";
  if (status.st_uid != ::geteuid()) return "it is owned by another user";
  if ((status.st_mode & kGroupOrOtherBits) != 0) return "group or others have access to it";
  return nullptr;
}

// Why a secret file in `folder` must not be trusted, or null: anyone who
// may write to the folder may swap the file.
const char* DistrustOfFolder(const std::string& folder) {
  struct stat status;
  if (::stat(folder.c_str(), &status) != 0) return nullptr;  // made owner-only when needed
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

StoreLock::~StoreLock() {
  if (fd >= 0) ::close(fd);  // closing releases the flock
}

FileResult ReadWholeFile(const std::string& path, std::size_t max_size,
                         std::vector<unsigned char>& contents) {
  UniqueFd fd;
  struct stat status;
  const FileResult opened = OpenRegularFile(path, 0, fd, status);
  if (opened != FileResult::kOk) return opened;
  return ReadOpenFile(fd.get(), status, max_size, contents);
}

FileResult ReadSecretFile(const std::string& path, std::size_t min_size, std::size_t max_size,
                          SecureBuffer& secret) {
  if (const char* reason = DistrustOfFolder(ParentFolder(path))) return Distrust(path, reason);
  struct stat status;
  if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
    return Distrust(path, "it is a symbolic link");
  }
  UniqueFd fd;
  // O_NOFOLLOW: a link swapped in since the check above fails to open.
  FileResult result = OpenRegularFile(path, O_NOFOLLOW, fd, status);
  if (result == FileResult::kWrongSize) return Distrust(path, "it is not a regular file");
  if (result != FileResult::kOk) return result;
  if (const char* reason = DistrustOfFile(status)) return Distrust(path, reason);
  const auto file_size = static_cast<std::uint64_t>(status.st_size);
  if (file_size < min_size || file_size > max_size) {
    KLOG(1) << "host key '" << path << "' refused: it holds " << file_size
            << " bytes, not " << min_size << " to " << max_size;
    return FileResult::kWrongSize;
  }
  std::vector<unsigned char> contents;
  result = ReadOpenFile(fd.get(), status, max_size, contents);
  if (result == FileResult::kOk && contents.size() < min_size) result = FileResult::kWrongSize;
  // The vector was sized once by the read, so it is the only copy to wipe.
  if (result != FileResult::kOk) {
    sodium_memzero(contents.data(), contents.size());
    return result;
  }
  return secret.TakeWiping(contents) ? FileResult::kOk : FileResult::kFailed;
}

FileResult LockAndReadStore(const std::string& path, std::size_t max_size, StoreLock& lock,
                            std::vector<unsigned char>& contents) {
  std::string target;
  FileResult result = ResolveStorePath(path, target);
  if (result != FileResult::kOk) return result;
  // The folder is made first so that even the first store in it is
  // created under the lock: a temporary seen under it is always dead.
  const std::string folder_path = ParentFolder(target);
  if (!MakeFolders(folder_path)) {
    KLOG(1) << "cannot make the folder '" << folder_path << "': " << std::strerror(errno);
    return FileResult::kBadPath;
  }
  UniqueFd folder(::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0) return FromOpenError(errno, folder_path);
  int locked;
  do {
    locked = ::flock(folder.get(), LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) return FileResult::kFailed;
  RemoveDeadTemporaries(folder.get(), target);
  result = ReadWholeFile(target, max_size, contents);
  if (result == FileResult::kOk || result == FileResult::kNotFound) {
    if (lock.fd >= 0) ::close(lock.fd);
    lock.fd = folder.release();
  }
  return result;
}

FileResult CreateFileAtomically(const std::string& path, const unsigned char* data,
                                std::size_t size) {
  const std::string folder = ParentFolder(path);
  std::string temp;
  if (!MakeFolders(folder) || !WriteTempFile(path, data, size, nullptr, temp)) {
    return FileResult::kFailed;
  }
  // link, unlike rename, refuses to replace: two processes creating the
  // same store or host key cannot overwrite each other, and the loser
  // learns it must read what the winner wrote.
  const int linked = ::link(temp.c_str(), path.c_str());
  const int link_error = errno;
  ::unlink(temp.c_str());
  if (linked != 0) return link_error == EEXIST ? FileResult::kExists : FileResult::kFailed;
  // The file is in place; a failed folder sync only weakens its durability
  // across a power loss, and reporting failure now would be false.
  static_cast<void>(SyncFolder(folder));
  return FileResult::kOk;
}

FileResult ReplaceFileAtomically(const std::string& path, const unsigned char* data,
                                 std::size_t size) {
  std::string target;
  if (ResolveStorePath(path, target) != FileResult::kOk) return FileResult::kFailed;
  struct stat old;
  const bool had_old = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  std::string temp;
  if (!WriteTempFile(target, data, size, had_old ? &old : nullptr, temp)) {
    return FileResult::kFailed;
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    return FileResult::kFailed;
  }
  // As in CreateFileAtomically: the new store is what readers see now.
  static_cast<void>(SyncFolder(ParentFolder(target)));
  return FileResult::kOk;
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

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace endecrypt

#endif  // !_WIN32
