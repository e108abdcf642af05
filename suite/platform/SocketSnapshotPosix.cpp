// SocketSnapshot.h on POSIX systems: the sockets are the descriptors
// /proc/self/fd lists whose files are sockets.
#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>

#include "suite/platform/SocketSnapshot.h"

namespace platform {
namespace {

// Calls `each(fd, status)` for every socket descriptor of the process.
template <typename Each>
void ForEachSocket(Each each) {
  DIR* listing = ::opendir("/proc/self/fd");
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    struct stat status = {};
    if (end != entry->d_name && *end == '\0' && fd != ::dirfd(listing) &&
        ::fstat(static_cast<int>(fd), &status) == 0 && S_ISSOCK(status.st_mode)) {
      each(static_cast<int>(fd), status);
    }
  }
  ::closedir(listing);
}

std::pair<std::uint64_t, std::uint64_t> Identify(const struct stat& status) {
  return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace

SocketSnapshot::SocketSnapshot() {
  ForEachSocket([&](int, const struct stat& status) { sockets.insert(Identify(status)); });
}

void SocketSnapshot::ShutNewerForReading() const {
  // A socket still connecting is disconnected by it too.
  ForEachSocket([&](int fd, const struct stat& status) {
    if (sockets.count(Identify(status)) == 0) ::shutdown(fd, SHUT_RD);
  });
}

}  // namespace platform
