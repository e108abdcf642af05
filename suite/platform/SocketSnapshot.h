// The sockets this process has open at one moment, and the cut of those it
// opened since: each is shut for reading, so that a receive (or a connect)
// blocked on it returns. This is how a blocked exchange on a socket that a
// library opened, and will not bound, is ended from another thread.
// Sockets of the snapshot are never touched. SocketSnapshotPosix.cpp lists
// the process's sockets in /proc (without it nothing is found, and nothing
// cut); on Windows the snapshot finds nothing, and cuts nothing
// (SocketSnapshotWindows.cpp).
#ifndef SUITE_PLATFORM_SOCKETSNAPSHOT_H_
#define SUITE_PLATFORM_SOCKETSNAPSHOT_H_

#include <cstdint>
#include <set>
#include <utility>

namespace platform {

class SocketSnapshot {
 public:
  // Takes the snapshot: the sockets open now.
  SocketSnapshot();

  // Shuts for reading every socket of the process opened since the
  // snapshot. Reading only, so that a write still made on it (a session's
  // end) meets no broken pipe of our making. Safe from any thread.
  void ShutNewerForReading() const;

 private:
  // Each socket by what the system names it with (device and inode).
  std::set<std::pair<std::uint64_t, std::uint64_t>> sockets;
};

}  // namespace platform

#endif  // SUITE_PLATFORM_SOCKETSNAPSHOT_H_
