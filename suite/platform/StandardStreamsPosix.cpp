// StandardStreams.h on POSIX systems.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <system_error>

#include "suite/platform/DescriptorPosix.h"
#include "suite/platform/StandardStreams.h"

namespace platform {
namespace {

// True when descriptor 1 takes no writes: closed, or the read-only stand-in
// OpenClosedStandardStreams puts in place of a closed one.
bool StandardOutputIsClosed() {
  const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
  return flags == -1 || (flags & O_ACCMODE) == O_RDONLY;
}

// The cause of a failed write to standard output, `error` being its errno
// (0 when it is no longer known).
std::string DescribeOutputFault(int error) {
  if (error == EBADF || StandardOutputIsClosed()) return "standard output is closed";
  if (error == 0) return "a write to standard output failed";
  return std::system_category().message(error);
}

}  // namespace

bool ReadStandardInput(std::size_t max_size, SecretString& text) {
  return ReadToEnd(STDIN_FILENO, 0, max_size, text);
}

bool StandardInputIsTerminal() { return ::isatty(STDIN_FILENO) != 0; }

bool WriteStandardOutput(const char* data, std::size_t size, std::string& reason) {
  if (WriteFully(STDOUT_FILENO, data, size)) return true;
  reason = DescribeOutputFault(errno);
  return false;
}

bool FlushStandardOutput(std::string& reason) {
  std::cout.flush();
  errno = 0;
  // A stream that failed before keeps its error; the flush retries what it
  // still holds, which gives the cause again.
  const bool flushed = std::fflush(stdout) == 0;
  int error = flushed ? 0 : errno;
  if (flushed && std::ferror(stdout) == 0 && !std::cout.bad()) return true;
  // The stream dropped what failed earlier, and its errno with it; a write
  // of nothing asks the descriptor again (a full device still says so).
  if (error == 0 && ::write(STDOUT_FILENO, "", 0) < 0) error = errno;
  reason = DescribeOutputFault(error);
  return false;
}

bool WriteStandardError(const std::string& text) {
  return WriteFully(STDERR_FILENO, text.data(), text.size());
}

}  // namespace platform
