#include "suite/endecrypt/TpmWatchdog.h"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>

namespace endecrypt {
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

std::set<std::pair<dev_t, ino_t>> OpenSockets() {
  std::set<std::pair<dev_t, ino_t>> sockets;
  ForEachSocket([&](int, const struct stat& status) {
    sockets.emplace(status.st_dev, status.st_ino);
  });
  return sockets;
}

}  // namespace

TpmWatchdog::TpmWatchdog() : older(OpenSockets()), thread([this] { Run(); }) {}

TpmWatchdog::~TpmWatchdog() {
  {
    const std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  changed.notify_one();
  thread.join();
}

void TpmWatchdog::Arm(Clock::time_point when) {
  {
    const std::lock_guard<std::mutex> lock(mutex);
    armed = true;
    struck = false;
    deadline = when;
  }
  changed.notify_one();
}

bool TpmWatchdog::Disarm() {
  const std::lock_guard<std::mutex> lock(mutex);
  armed = false;
  return struck;
}

void TpmWatchdog::Run() {
  std::unique_lock<std::mutex> lock(mutex);
  while (!stopping) {
    if (!armed) {
      changed.wait(lock);
    } else if (Clock::now() < deadline) {
      changed.wait_until(lock, deadline);
    } else {
      // Shut for reading only, so a write the TCTI still makes (a session
      // end when finalised) meets no SIGPIPE of our making. A socket still
      // connecting is disconnected by it too.
      ForEachSocket([&](int fd, const struct stat& status) {
        if (older.count({status.st_dev, status.st_ino}) == 0) ::shutdown(fd, SHUT_RD);
      });
      struck = true;
      armed = false;
    }
  }
}

}  // namespace endecrypt
