// LogFile.h on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "suite/platform/DescriptorPosix.h"
#include "suite/platform/FileNames.h"
#include "suite/platform/LogFile.h"

namespace platform {
namespace {

constexpr mode_t kGroupOrOtherWrite = 0022;
constexpr uid_t kRoot = 0;

// Why the open log `file` of the open folder `folder` must not be written,
// or null. In a folder someone else may write to, a file put there by
// another user, or a second name of a file that lives elsewhere, would
// take our records (and, for root, our appending) where they were sent.
const char* Distrust(const struct stat& folder, const struct stat& file) {
  if (!S_ISREG(file.st_mode)) return "it is not a regular file";
  const bool shared = (folder.st_mode & kGroupOrOtherWrite) != 0 ||
                      (folder.st_uid != ::geteuid() && folder.st_uid != kRoot);
  if (!shared) return nullptr;
  if (file.st_uid != ::geteuid()) {
    return "others may write to its folder and the file is not the running user's";
  }
  if (file.st_nlink != 1) return "others may write to its folder and the file has other names";
  return nullptr;
}

}  // namespace

LogFile::~LogFile() {
  if (fd >= 0) ::close(fd);
}

bool LogFile::Open(const std::string& path, std::string& refusal) {
  const std::size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const UniqueFd folder(::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat folder_status {};
  if (folder.get() < 0 || ::fstat(folder.get(), &folder_status) != 0) return false;
  // O_NOFOLLOW: a link at the name fails to open. O_NONBLOCK: a FIFO there
  // does not hold us up; it is refused below.
  UniqueFd file(::openat(folder.get(), name.c_str(),
                         O_WRONLY | O_APPEND | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno == ELOOP) refusal = "it is a symbolic link";
    return false;
  }
  struct stat file_status {};
  if (::fstat(file.get(), &file_status) != 0) return false;
  if (const char* reason = Distrust(folder_status, file_status)) {
    refusal = reason;
    return false;
  }
  const int flags = ::fcntl(file.get(), F_GETFL);
  if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return false;
  if (fd >= 0) ::close(fd);
  fd = file.release();
  return true;
}

bool LogFile::Append(const char* data, std::size_t size) { return WriteFully(fd, data, size); }

}  // namespace platform
