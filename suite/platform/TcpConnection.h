// A TCP connection made by this process, every wait on it bounded: the
// connect, and each wait for data to arrive. For a peer that may never
// answer (a TPM simulator's ports), which the libraries that speak to it
// would wait for as long as the system does. TcpConnectionPosix.cpp holds
// the POSIX side; on Windows, where nothing makes such a connection (the
// TPM path is Linux only), each call fails with its reason
// (TcpConnectionWindows.cpp).
#ifndef SUITE_PLATFORM_TCPCONNECTION_H_
#define SUITE_PLATFORM_TCPCONNECTION_H_

#include <cstddef>
#include <string>

namespace platform {

// How a call on a connection ended, and for a failure the system's reason.
struct TcpResult {
  enum class Kind { kOk, kTimedOut, kFailed };
  Kind kind = Kind::kOk;
  std::string reason;  // kFailed: the system's error in words

  [[nodiscard]] bool IsOk() const { return kind == Kind::kOk; }
};

class TcpConnection {
 public:
  TcpConnection() = default;
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;
  ~TcpConnection();  // closes the connection

  // Connects to `host` port `port`, trying each address the name resolves
  // to in turn, each connect accepted within `timeout_ms` or given up.
  [[nodiscard]] TcpResult Connect(const std::string& host, const std::string& port,
                                  int timeout_ms);
  // Sends the `size` bytes at `data` at once, never raising a broken-pipe
  // signal.
  [[nodiscard]] TcpResult Send(const void* data, std::size_t size);
  // Receives exactly `size` bytes into `data`, waiting at most `timeout_ms`
  // for each part of them; a peer that closes first is a failure.
  [[nodiscard]] TcpResult Receive(void* data, std::size_t size, int timeout_ms);

 private:
  int fd = -1;
};

}  // namespace platform

#endif  // SUITE_PLATFORM_TCPCONNECTION_H_
