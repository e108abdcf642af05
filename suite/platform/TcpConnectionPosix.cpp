// TcpConnection.h on POSIX systems: a non-blocking socket, each wait a poll
// with the caller's bound.
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "suite/platform/DescriptorPosix.h"
#include "suite/platform/TcpConnection.h"

namespace platform {
namespace {

// The result of a call that ended with `error` (an errno value, 0 when it
// succeeded, ETIMEDOUT when nothing came in time).
TcpResult FromError(int error) {
  if (error == 0) return {};
  if (error == ETIMEDOUT) return {TcpResult::Kind::kTimedOut, {}};
  return {TcpResult::Kind::kFailed, std::strerror(error)};
}

// Waits up to `timeout_ms` for `events` on `fd`. Returns 0 when they came,
// else the reason as an errno value (ETIMEDOUT when nothing came).
int WaitFor(int fd, short events, int timeout_ms) {
  pollfd waiting = {fd, events, 0};
  int ready = 0;
  do {
    ready = ::poll(&waiting, 1, timeout_ms);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return errno;
  return ready == 0 ? ETIMEDOUT : 0;
}

// Connects `socket` to `address` without blocking longer than
// `timeout_ms`. Returns 0 or the reason as an errno value.
int ConnectWithin(const addrinfo& address, int timeout_ms, UniqueFd& socket) {
  const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          address.ai_protocol);
  if (fd < 0) return errno;
  socket.Reset(fd);
  if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) return 0;
  if (errno != EINPROGRESS) return errno;
  int error = WaitFor(fd, POLLOUT, timeout_ms);
  socklen_t length = sizeof(error);
  if (error == 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
    return errno;
  }
  return error;
}

}  // namespace

TcpConnection::~TcpConnection() {
  if (fd >= 0) ::close(fd);
}

TcpResult TcpConnection::Connect(const std::string& host, const std::string& port,
                                 int timeout_ms) {
  addrinfo hints = {};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
    return FromError(EHOSTUNREACH);
  }
  UniqueFd socket(fd);
  int error = EADDRNOTAVAIL;
  for (const addrinfo* address = found; address != nullptr && error != 0;
       address = address->ai_next) {
    UniqueFd attempt;
    error = ConnectWithin(*address, timeout_ms, attempt);
    socket.Reset(attempt.release());
  }
  ::freeaddrinfo(found);
  fd = socket.release();
  return FromError(error);
}

TcpResult TcpConnection::Send(const void* data, std::size_t size) {
  const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
  if (sent < 0) return FromError(errno);
  return FromError(static_cast<std::size_t>(sent) == size ? 0 : EIO);
}

TcpResult TcpConnection::Receive(void* data, std::size_t size, int timeout_ms) {
  auto* bytes = static_cast<unsigned char*>(data);
  std::size_t received = 0;
  while (received < size) {
    if (const int error = WaitFor(fd, POLLIN, timeout_ms); error != 0) return FromError(error);
    const ssize_t got = ::recv(fd, bytes + received, size - received, 0);
    if (got <= 0) return FromError(got == 0 ? ECONNRESET : errno);
    received += static_cast<std::size_t>(got);
  }
  return {};
}

}  // namespace platform
