// ActivatedSocket.h on POSIX systems.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "suite/platform/ActivatedSocket.h"

namespace platform {
namespace {

// The first descriptor a service manager hands over.
constexpr int kFirstHandedDescriptor = 3;
constexpr char kCountVariable[] = "LISTEN_FDS";
constexpr char kPidVariable[] = "LISTEN_PID";
constexpr char kNamesVariable[] = "LISTEN_FDNAMES";
// How long a send waits for a peer that does not read.
constexpr int kSendTimeoutSeconds = 5;

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : value;
}

}  // namespace

Connection::Connection(Connection&& other) noexcept
    : fd(std::exchange(other.fd, -1)),
      has_peer_user(other.has_peer_user),
      peer_user(other.peer_user),
      peer_address(std::move(other.peer_address)) {}

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    if (fd >= 0) ::close(fd);
    fd = std::exchange(other.fd, -1);
    has_peer_user = other.has_peer_user;
    peer_user = other.peer_user;
    peer_address = std::move(other.peer_address);
  }
  return *this;
}

Connection::~Connection() {
  if (fd >= 0) ::close(fd);
}

bool Connection::SendAll(const char* data, std::size_t size) {
  const struct timeval timeout = {kSendTimeoutSeconds, 0};
  static_cast<void>(::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout));
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

ActivatedSocket::~ActivatedSocket() {
  if (fd >= 0) ::close(fd);
}

bool ActivatedSocket::Take(std::string& reason) {
  const std::string count = Variable(kCountVariable);
  const std::string pid = Variable(kPidVariable);
  ::unsetenv(kCountVariable);
  ::unsetenv(kPidVariable);
  ::unsetenv(kNamesVariable);
  if (count.empty() || pid.empty()) {
    reason = "no socket was handed over: expected LISTEN_FDS=1 and LISTEN_PID=" +
             std::to_string(::getpid()) + " from the service manager (a socket unit)";
    return false;
  }
  if (pid != std::to_string(::getpid())) {
    reason = "LISTEN_PID is " + pid + ", not this process (" + std::to_string(::getpid()) + ")";
    return false;
  }
  if (count != "1") {
    reason = "LISTEN_FDS is " + count + "; expected exactly one socket";
    return false;
  }
  int listening = 0;
  int type = 0;
  int domain = 0;
  socklen_t size = sizeof listening;
  const bool is_socket =
      ::getsockopt(kFirstHandedDescriptor, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 &&
      (size = sizeof type, ::getsockopt(kFirstHandedDescriptor, SOL_SOCKET, SO_TYPE, &type, &size)) == 0 &&
      (size = sizeof domain,
       ::getsockopt(kFirstHandedDescriptor, SOL_SOCKET, SO_DOMAIN, &domain, &size)) == 0;
  if (!is_socket || listening == 0 || type != SOCK_STREAM || domain != AF_UNIX) {
    reason = "descriptor 3 is not a listening AF_UNIX stream socket";
    return false;
  }
  fd = kFirstHandedDescriptor;
  // Not handed on to a program this one starts.
  static_cast<void>(::fcntl(fd, F_SETFD, FD_CLOEXEC));
  return true;
}

bool ActivatedSocket::Accept(Connection& connection, std::string& reason) {
  for (;;) {
    struct sockaddr_un peer {};
    socklen_t peer_size = sizeof peer;
    const int accepted =
        ::accept4(fd, reinterpret_cast<struct sockaddr*>(&peer), &peer_size, SOCK_CLOEXEC);
    if (accepted < 0) {
      // A peer that gave up before it was accepted, or a signal: wait on.
      if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
      reason = std::string("accepting a connection failed: ") + std::strerror(errno);
      return false;
    }
    Connection made;
    made.fd = accepted;
    struct ucred credentials {};
    socklen_t credentials_size = sizeof credentials;
    if (::getsockopt(accepted, SOL_SOCKET, SO_PEERCRED, &credentials, &credentials_size) == 0) {
      made.has_peer_user = true;
      made.peer_user = credentials.uid;
    }
    const std::size_t path_offset = offsetof(struct sockaddr_un, sun_path);
    if (peer_size > path_offset) {
      made.peer_address.assign(peer.sun_path, peer_size - path_offset);
    }
    connection = std::move(made);
    return true;
  }
}

}  // namespace platform
