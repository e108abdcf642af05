#include "tests/store/TpmRelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace testing_support {
namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}

// A socket listening on loopback `wanted` (0: any free port) in `fd`; the
// port, or 0.
int Listen(int wanted, int& fd) {
  fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(wanted);
  socklen_t length = sizeof(address);
  auto* any = reinterpret_cast<sockaddr*>(&address);
  if (fd < 0 || ::bind(fd, any, length) != 0 || ::listen(fd, 8) != 0 ||
      ::getsockname(fd, any, &length) != 0) {
    return 0;
  }
  return ntohs(address.sin_port);
}

int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(port);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void Close(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

TpmRelay::TpmRelay(int tpm_port, int commands, bool control, int swallowed,
                   std::function<void()> midway)
    : tpm_port(tpm_port), commands(commands), control(tpm_port != 0 && control),
      swallowed(swallowed), midway(std::move(midway)) {
  for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
    Close(listeners[0]);
    Close(listeners[1]);
    const int first = Listen(0, listeners[0]);
    if (first > 0 && Listen(first + 1, listeners[1]) > 0) port = first;
  }
  if (::pipe2(stop, O_CLOEXEC) == 0) thread = std::thread([this] { Run(); });
}

TpmRelay::~TpmRelay() {
  Close(stop[1]);  // the thread sees the pipe hang up
  if (thread.joinable()) thread.join();
  for (Link& link : links) {
    Close(link.client);
    Close(link.tpm);
  }
  for (int* fd : {&listeners[0], &listeners[1], &stop[0], &stop[1]}) Close(*fd);
}

std::string TpmRelay::Tcti() const {
  return "swtpm:host=127.0.0.1,port=" + std::to_string(port);
}

void TpmRelay::Run() {
  for (;;) {
    // The stop pipe, both listeners, then each link's client and TPM side.
    std::vector<pollfd> polled = {{stop[0], POLLIN, 0},
                                  {listeners[0], POLLIN, 0},
                                  {listeners[1], POLLIN, 0}};
    for (const Link& link : links) {
      polled.push_back({link.client, POLLIN, 0});
      polled.push_back({link.tpm, POLLIN, 0});  // ignored while -1
    }
    if (::poll(polled.data(), polled.size(), -1) < 0 || polled[0].revents != 0) return;
    for (int side = 0; side < 2; ++side) {
      if (polled[1 + side].revents == 0) continue;
      const int fd = ::accept4(listeners[side], nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) links.push_back({fd, -1, side == 1, false});
    }
    // Links accepted just now have no entry in `polled` yet.
    std::vector<Link> kept;
    for (std::size_t i = 0; i < links.size(); ++i) {
      const std::size_t entry = 3 + 2 * i;
      bool open = true;
      if (entry < polled.size()) {
        if (polled[entry].revents != 0) open = Serve(links[i], true);
        if (open && polled[entry + 1].revents != 0) open = Serve(links[i], false);
      }
      if (open) {
        kept.push_back(links[i]);
      } else {
        Close(links[i].client);
        Close(links[i].tpm);
      }
    }
    links = std::move(kept);
  }
}

bool TpmRelay::Serve(Link& link, bool from_client) {
  char buffer[4096];
  const ssize_t got = ::read(from_client ? link.client : link.tpm, buffer, sizeof(buffer));
  if (got <= 0) return false;
  if (from_client && !link.decided) {
    link.decided = true;
    const int index = link.control ? -1 : seen++;
    if (index == commands && midway) midway();
    const bool resumed = swallowed >= 0 && index >= commands + swallowed;
    const bool forward =
        link.control ? control : tpm_port != 0 && (index < commands || resumed);
    if (forward) link.tpm = Connect(link.control ? tpm_port + 1 : tpm_port);
  }
  const int to = from_client ? link.tpm : link.client;
  return to < 0 ? link.decided : ::write(to, buffer, static_cast<std::size_t>(got)) == got;
}

}  // namespace testing_support
