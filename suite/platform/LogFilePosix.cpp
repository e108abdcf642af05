// LogFile.h on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "suite/platform/DescriptorPosix.h"
#include "suite/platform/FileNames.h"
#include "suite/platform/LogFile.h"
#include "suite/platform/TrustedPath.h"

namespace platform {
namespace {

// Why the open log file with `status` must not be written, or null. The
// trust rule has judged its path; a second name of a file that lives
// elsewhere (a key, a store) would still take our records there.
const char* Distrust(const struct stat& status) {
  if (!S_ISREG(status.st_mode)) return "it is not a regular file";
  if (status.st_nlink != 1) return "the file has other names too";
  return nullptr;
}

}  // namespace

LogFile::~LogFile() {
  if (fd >= 0) ::close(fd);
}

bool LogFile::Open(const std::string& path, std::string& refusal) {
  if (const FileResult trusted = CheckTrustedPath(path, LastLink::kRefused);
      trusted != FileResult::kOk) {
    refusal = trusted.GetReason();
    return false;
  }
  const std::size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const UniqueFd folder(::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0) return false;
  // O_NOFOLLOW: a link at the name fails to open. O_NONBLOCK: a FIFO there
  // does not hold us up; it is refused below.
  UniqueFd file(::openat(folder.get(), name.c_str(),
                         O_RDWR | O_APPEND | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno == ELOOP) refusal = "it is a symbolic link";
    return false;
  }
  struct stat file_status {};
  if (::fstat(file.get(), &file_status) != 0) return false;
  if (const char* reason = Distrust(file_status)) {
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

bool LogFile::ReadHead(std::size_t count, std::string& head) {
  std::string read(count, '\0');
  ssize_t got;
  do {
    got = ::pread(fd, read.data(), read.size(), 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return false;
  read.resize(static_cast<std::size_t>(got));
  head.swap(read);
  return true;
}

}  // namespace platform
