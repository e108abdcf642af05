// StandardStreams.h on Windows.
#include <fcntl.h>
#include <io.h>

#include <climits>
#include <cstdio>

#include "suite/platform/StandardStreams.h"

namespace platform {

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

bool WriteStandardOutput(const char* data, std::size_t size) {
  // The data's line ends as they are, not turned into CR LF.
  std::fflush(stdout);
  static_cast<void>(_setmode(_fileno(stdout), _O_BINARY));
  while (size > 0) {
    const unsigned chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
    const int written = _write(_fileno(stdout), data, chunk);
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool WriteStandardError(const std::string& text) {
  return std::fputs(text.c_str(), stderr) >= 0;
}

}  // namespace platform
