#include "suite/platform/DescriptorPosix.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

}  // namespace

void UniqueFd::Reset(int other) {
  if (fd >= 0) ::close(fd);
  fd = other;
}

bool ReadFully(int fd, void* data, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, bytes + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool WriteFully(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool ReadToEnd(int fd, std::size_t size_guess, std::size_t max_size, SecretString& text) {
  SecretString read;
  // One spare byte, so that a file of the size guessed is read in one go and
  // its end seen without growing the buffer: growing copies and doubles it.
  read.resize(std::min(size_guess, max_size) + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == read.size()) read.resize(std::max(2 * read.size(), used + kReadChunk));
    const ssize_t got = ::read(fd, read.data() + used, read.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
    if (used > max_size) return false;
  }
  read.resize(used);
  text.swap(read);
  return true;
}

}  // namespace platform
