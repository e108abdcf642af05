// OwnerOnly.h on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "suite/platform/DescriptorPosix.h"
#include "suite/platform/FileNames.h"
#include "suite/platform/OwnerOnly.h"

namespace platform {
namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

bool IsFolder(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool SyncFolder(const std::string& folder) {
  const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

}  // namespace

bool MakeOwnerOnlyFolders(const std::string& folder) {
  if (IsFolder(folder)) return true;
  const std::string parent = ParentFolder(folder);
  if (parent != folder && !MakeOwnerOnlyFolders(parent)) return false;
  if (::mkdir(folder.c_str(), kFolderMode) != 0) return errno == EEXIST && IsFolder(folder);
  // The umask may have taken bits off: a folder its owner cannot write is
  // no use.
  static_cast<void>(::chmod(folder.c_str(), kFolderMode));
  return SyncFolder(parent);
}

bool CreateOwnerOnlyFile(const std::string& path) {
  const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode));
  if (fd.get() < 0) return false;
  static_cast<void>(::fchmod(fd.get(), kFileMode));
  return true;
}

}  // namespace platform
