// StandardStreams.h on POSIX systems.
#if !defined(_WIN32)
#include <unistd.h>

#include <cerrno>

#include "suite/platform/StandardStreams.h"

namespace platform {

bool ReadStandardInput(std::size_t max_size, SecretString& text) {
  constexpr std::size_t kReadChunk = 64 * 1024;
  SecretString read;
  for (;;) {
    const std::size_t used = read.size();
    read.resize(used + kReadChunk);
    const ssize_t got = ::read(STDIN_FILENO, read.data() + used, kReadChunk);
    if (got < 0 && errno == EINTR) {
      read.resize(used);
      continue;
    }
    if (got < 0) return false;
    read.resize(used + static_cast<std::size_t>(got));
    if (read.size() > max_size) return false;
    if (got == 0) break;
  }
  text.swap(read);
  return true;
}

bool StandardInputIsTerminal() { return ::isatty(STDIN_FILENO) != 0; }

bool WriteStandardOutput(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(STDOUT_FILENO, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace platform

#endif  // !_WIN32
