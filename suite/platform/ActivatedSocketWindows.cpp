// ActivatedSocket.h on Windows, whose service control manager hands no
// socket to the programs it starts.
#include "suite/platform/ActivatedSocket.h"

namespace platform {

Connection::Connection(Connection&& other) noexcept = default;
Connection& Connection::operator=(Connection&& other) noexcept = default;
Connection::~Connection() = default;

bool Connection::SendAll(const char* /*data*/, std::size_t /*size*/) { return false; }

ActivatedSocket::~ActivatedSocket() = default;

bool ActivatedSocket::Take(std::string& reason) {
  reason = "this system's service manager hands no socket over (socket activation is a "
           "Linux service manager's protocol)";
  return false;
}

bool ActivatedSocket::Accept(Connection& /*connection*/, std::string& reason) {
  reason = "no socket was taken";
  return false;
}

}  // namespace platform
