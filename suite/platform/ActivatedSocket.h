// The listening socket a service manager hands a program it starts on
// demand (socket activation: descriptor 3, with LISTEN_FDS=1 and LISTEN_PID
// naming the program), the connections accepted on it, and who is at their
// other end as the system vouches for it. ActivatedSocketPosix.cpp holds
// the POSIX side; on Windows, which has no such manager, taking the socket
// fails with its reason (ActivatedSocketWindows.cpp). One thread takes and
// accepts; each connection may be served on a thread of its own.
#ifndef SUITE_PLATFORM_ACTIVATEDSOCKET_H_
#define SUITE_PLATFORM_ACTIVATEDSOCKET_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// One accepted connection, closed on destruction.
class Connection {
 public:
  Connection() = default;
  Connection(Connection&& other) noexcept;
  Connection& operator=(Connection&& other) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  // The peer's user id as the system gives it (not as it says); valid
  // when HasPeerUser().
  [[nodiscard]] bool HasPeerUser() const { return has_peer_user; }
  [[nodiscard]] std::uint32_t GetPeerUser() const { return peer_user; }
  // The address the peer's socket is bound to, as raw bytes: an abstract
  // address starts with a NUL byte; empty for an unbound peer.
  [[nodiscard]] const std::string& GetPeerAddress() const { return peer_address; }

  // Sends all `size` bytes at `data`, waiting at most a few seconds for a
  // peer that does not read; false when they could not all be sent.
  [[nodiscard]] bool SendAll(const char* data, std::size_t size);

 private:
  friend class ActivatedSocket;
  int fd = -1;
  bool has_peer_user = false;
  std::uint32_t peer_user = 0;
  std::string peer_address;
};

class ActivatedSocket {
 public:
  ActivatedSocket() = default;
  ActivatedSocket(const ActivatedSocket&) = delete;
  ActivatedSocket& operator=(const ActivatedSocket&) = delete;
  ~ActivatedSocket();

  // Takes the one listening stream socket the manager handed over and
  // removes the variables that told of it, so no program started later
  // takes them for its own. False, with `reason` naming what was expected
  // and what was found, when the process was not started that way.
  [[nodiscard]] bool Take(std::string& reason);

  // Waits for the next connection and stores it in `connection`. False,
  // with `reason`, when the socket fails for good.
  [[nodiscard]] bool Accept(Connection& connection, std::string& reason);

 private:
  int fd = -1;
};

}  // namespace platform

#endif  // SUITE_PLATFORM_ACTIVATEDSOCKET_H_
