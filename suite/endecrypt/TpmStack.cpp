#include "suite/endecrypt/TpmStack.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/Log.h"
#include "suite/platform/DescriptorPosix.h"
#include "suite/platform/SharedLibrary.h"

namespace endecrypt {
namespace {

// The libraries by their run-time names: the ones the development links
// point to, so the stack loaded is the one the headers describe.
constexpr const char* kTssLibraries[] = {"libtss2-esys.so.0", "libtss2-tctildr.so.0",
                                          "libtss2-rc.so.0", "libtss2-mu.so.0"};
constexpr char kDefaultTpmHost[] = "localhost";
constexpr char kDefaultTpmPort[] = "2321";

using TssLibraries = platform::SharedLibrary[std::size(kTssLibraries)];

// Looks `name` up in every loaded library (and the libraries they pull in).
void* FindSymbol(const TssLibraries& libraries, const char* name) {
  std::string error;
  for (const platform::SharedLibrary& library : libraries) {
    if (void* found = library.FindSymbol(name, error)) return found;
  }
  return nullptr;
}

// Loads every library and function; null (reason logged) when one is
// missing. The libraries stay loaded: the stack is never unloaded, which
// keeps their crypto library's clean-up out of the process's exit.
std::unique_ptr<TpmStack> Load() {
  TssLibraries libraries;
  for (std::size_t i = 0; i < std::size(kTssLibraries); ++i) {
    std::string error;
    const bool loaded = libraries[i].Open(kTssLibraries[i], error);
    libraries[i].KeepLoaded();
    if (!loaded) {
      KLOG(1) << "TPM: cannot load '" << kTssLibraries[i] << "': " << error;
      return nullptr;
    }
  }
  auto stack = std::make_unique<TpmStack>();
#define KELVOX_TSS2_RESOLVE(name)                                                  \
  stack->name = reinterpret_cast<decltype(&::name)>(FindSymbol(libraries, #name)); \
  if (stack->name == nullptr) {                                                    \
    KLOG(1) << "TPM: the TSS libraries lack '" #name "'";                          \
    return nullptr;                                                                \
  }
  KELVOX_TSS2_FUNCTIONS(KELVOX_TSS2_RESOLVE)
#undef KELVOX_TSS2_RESOLVE
  return stack;
}

// The value of `key` in a TCTI configuration "key=value,key=value".
std::string ConfValue(const std::string& conf, const std::string& key, const char* fallback) {
  std::size_t start = 0;
  while (start <= conf.size()) {
    std::size_t end = conf.find(',', start);
    if (end == std::string::npos) end = conf.size();
    const std::string item = conf.substr(start, end - start);
    if (item.compare(0, key.size() + 1, key + "=") == 0) return item.substr(key.size() + 1);
    start = end + 1;
  }
  return fallback;
}

using Socket = platform::UniqueFd;

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
int ConnectWithin(const addrinfo& address, int timeout_ms, Socket& socket) {
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

// Connects to `host` port `port`, as ConnectWithin.
int ConnectToTpm(const std::string& host, const std::string& port, int timeout_ms,
                 Socket& socket) {
  addrinfo hints = {};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return EHOSTUNREACH;
  int error = EADDRNOTAVAIL;
  for (const addrinfo* address = found; address != nullptr && error != 0;
       address = address->ai_next) {
    Socket attempt;
    error = ConnectWithin(*address, timeout_ms, attempt);
    socket.Reset(attempt.release());
  }
  ::freeaddrinfo(found);
  return error;
}

// The control exchange the swtpm TCTI makes while starting, and waits for
// without a bound: setting locality 0 (command 5, big-endian, then the
// locality) over the control port, answered by a 4-byte result.
int ProbeSwtpmControl(const std::string& host, int port, int timeout_ms) {
  constexpr unsigned char kSetLocalityZero[] = {0, 0, 0, 5, 0};
  constexpr std::size_t kResultSize = 4;
  Socket control;
  int error = ConnectToTpm(host, std::to_string(port + 1), timeout_ms, control);
  if (error != 0) return error;
  if (::send(control.get(), kSetLocalityZero, sizeof(kSetLocalityZero), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(sizeof(kSetLocalityZero))) {
    return errno;
  }
  unsigned char result[kResultSize];
  std::size_t received = 0;
  while (received < kResultSize) {
    if ((error = WaitFor(control.get(), POLLIN, timeout_ms)) != 0) return error;
    const ssize_t got = ::recv(control.get(), result + received, kResultSize - received, 0);
    if (got <= 0) return got == 0 ? ECONNRESET : errno;
    received += static_cast<std::size_t>(got);
  }
  return 0;
}

}  // namespace

const TpmStack* LoadTpmStack() {
  static const std::unique_ptr<TpmStack> stack = Load();
  if (stack == nullptr) {
    KLOG(1) << "TPM: the TSS libraries are not usable";
  }
  return stack.get();
}

bool ProbeTpmConnection(const std::string& tcti, int timeout_ms) {
  const std::size_t colon = tcti.find(':');
  const std::string name = tcti.substr(0, colon);
  const bool swtpm = name.find("swtpm") != std::string::npos;
  if (!swtpm && name.find("mssim") == std::string::npos) return true;
  const std::string conf = colon == std::string::npos ? "" : tcti.substr(colon + 1);
  if (!ConfValue(conf, "path", "").empty()) return true;  // a local socket
  const std::string host = ConfValue(conf, "host", kDefaultTpmHost);
  const std::string port = ConfValue(conf, "port", kDefaultTpmPort);
  Socket command;
  int error = ConnectToTpm(host, port, timeout_ms, command);
  if (error == 0 && swtpm) error = ProbeSwtpmControl(host, std::atoi(port.c_str()), timeout_ms);
  if (error == ETIMEDOUT) {
    KLOG(1) << "TPM: '" << host << "' port '" << port << "' did not answer within "
            << timeout_ms << " ms";
  } else if (error != 0) {
    KLOG(1) << "TPM: cannot reach '" << host << "' port '" << port
            << "': " << std::strerror(error);
  }
  return error == 0;
}

}  // namespace endecrypt
