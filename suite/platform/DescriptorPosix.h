// File descriptors as the POSIX sources use them: the one owner that
// closes a descriptor, and the one loop each for reading or writing a whole
// span, for reading to the end, resuming after interruptions and short
// transfers. For the platform's POSIX sources only. ReadFully and
// WriteFully make only async-signal-safe calls, so signal handlers may use
// them.
#ifndef SUITE_PLATFORM_DESCRIPTORPOSIX_H_
#define SUITE_PLATFORM_DESCRIPTORPOSIX_H_

#include <cstddef>
#include <utility>

#include "suite/secretmemory/SecretMemory.h"

namespace platform {

// A file descriptor, closed on destruction.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(-1); }
  int get() const { return fd; }
  int release() { return std::exchange(fd, -1); }
  // Closes what is held and holds `other` instead.
  void Reset(int other);

 private:
  int fd;
};

// Reads exactly `size` bytes from `fd` into `data`. False at an error or
// when the file ends first; what was read by then is in `data`.
[[nodiscard]] bool ReadFully(int fd, void* data, std::size_t size);

// Writes all `size` bytes at `data` to `fd`. False at an error (errno says
// which).
[[nodiscard]] bool WriteFully(int fd, const void* data, std::size_t size);

// Reads `fd` to its end into `text` (a pipe, or a file that may grow
// meanwhile), sized first for `size_guess` bytes. False at an error or when
// more than `max_size` bytes come; `text` is untouched then.
[[nodiscard]] bool ReadToEnd(int fd, std::size_t size_guess, std::size_t max_size,
                             SecretString& text);

}  // namespace platform

#endif  // SUITE_PLATFORM_DESCRIPTORPOSIX_H_
