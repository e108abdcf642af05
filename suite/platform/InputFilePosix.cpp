// InputFile.h on POSIX systems.
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "suite/platform/Heap.h"
#include "suite/platform/InputFile.h"

namespace platform {
namespace {

// Reads from `fd` to its end into `text`, growing it as needed; the file
// may be a pipe or grow meanwhile, so its size is only a first guess.
bool ReadToEnd(int fd, std::size_t size_guess, SecretString& text) {
  constexpr std::size_t kReadChunk = 64 * 1024;
  SecretString read;
  // One spare byte, so that a file of the size found is read in one go and
  // its end seen without growing the buffer: growing copies and doubles it.
  read.resize(size_guess + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == read.size()) read.resize(std::max(2 * read.size(), used + kReadChunk));
    const ssize_t got = ::read(fd, read.data() + used, read.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  read.resize(used);
  text.swap(read);
  return true;
}

}  // namespace

InputResult ReadInputFile(const std::string& path, SecretString& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? InputResult::kNotFound : InputResult::kFailed;
  struct stat status;
  const std::size_t guess = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)
                                ? static_cast<std::size_t>(status.st_size)
                                : 0;
  ReadyHeapForFile(guess, HeapUse::kInputText);
  const bool read = ReadToEnd(fd, guess, text);
  ::close(fd);
  return read ? InputResult::kOk : InputResult::kFailed;
}

}  // namespace platform

#endif  // !_WIN32
