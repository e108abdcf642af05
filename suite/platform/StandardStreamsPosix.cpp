// StandardStreams.h on POSIX systems.
#include <unistd.h>

#include "suite/platform/DescriptorPosix.h"
#include "suite/platform/StandardStreams.h"

namespace platform {

bool ReadStandardInput(std::size_t max_size, SecretString& text) {
  return ReadToEnd(STDIN_FILENO, 0, max_size, text);
}

bool StandardInputIsTerminal() { return ::isatty(STDIN_FILENO) != 0; }

bool WriteStandardOutput(const char* data, std::size_t size) {
  return WriteFully(STDOUT_FILENO, data, size);
}

bool WriteStandardError(const std::string& text) {
  return WriteFully(STDERR_FILENO, text.data(), text.size());
}

}  // namespace platform
