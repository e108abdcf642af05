// StandardStreams.h on Windows.
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "suite/platform/StandardStreams.h"

namespace platform {
namespace {

// The cause of a failed write to standard output, `error` being its errno
// (0 when it is no longer known). A closed standard output has no valid
// descriptor behind the C runtime's stream.
std::string DescribeOutputFault(int error) {
  if (error == EBADF || _get_osfhandle(_fileno(stdout)) == -1) return "standard output is closed";
  if (error == 0) return "a write to standard output failed";
  return std::strerror(error);
}

}  // namespace

bool ReadStandardInput(std::size_t max_size, SecretString& text) {
  constexpr unsigned kReadChunk = 64 * 1024;
  static_cast<void>(_setmode(_fileno(stdin), _O_BINARY));
  SecretString read;
  for (;;) {
    const std::size_t used = read.size();
    read.resize(used + kReadChunk);
    const int got = _read(_fileno(stdin), read.data() + used, kReadChunk);
    if (got < 0) return false;
    read.resize(used + static_cast<std::size_t>(got));
    if (read.size() > max_size) return false;
    if (got == 0) break;
  }
  text.swap(read);
  return true;
}

bool StandardInputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

bool WriteStandardOutput(const char* data, std::size_t size, std::string& reason) {
  // The data's line ends as they are, not turned into CR LF.
  std::fflush(stdout);
  static_cast<void>(_setmode(_fileno(stdout), _O_BINARY));
  while (size > 0) {
    const unsigned chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
    errno = 0;
    const int written = _write(_fileno(stdout), data, chunk);
    if (written <= 0) {
      reason = DescribeOutputFault(errno);
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool FlushStandardOutput(std::string& reason) {
  std::cout.flush();
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int error = flushed ? 0 : errno;
  if (flushed && std::ferror(stdout) == 0 && !std::cout.bad()) return true;
  reason = DescribeOutputFault(error);
  return false;
}

bool WriteStandardError(const std::string& text) {
  return std::fputs(text.c_str(), stderr) >= 0;
}

}  // namespace platform
