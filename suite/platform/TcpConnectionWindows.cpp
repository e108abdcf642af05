// TcpConnection.h on Windows, where nothing makes such a connection (the
// TPM path is Linux only): each call fails with its reason.
#include "suite/platform/TcpConnection.h"

namespace platform {
namespace {

TcpResult Refused() {
  return {TcpResult::Kind::kFailed, "bounded TCP connections are made only on Linux"};
}

}  // namespace

TcpConnection::~TcpConnection() = default;

TcpResult TcpConnection::Connect(const std::string&, const std::string&, int) {
  return Refused();
}

TcpResult TcpConnection::Send(const void*, std::size_t) { return Refused(); }

TcpResult TcpConnection::Receive(void*, std::size_t, int) { return Refused(); }

}  // namespace platform
