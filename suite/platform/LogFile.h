// The log file as the logger writes it: opened for appending, never through
// a link at its name, never inherited by a program the process starts (an
// editor), and refused where someone else may have put it in our way.
// LogFilePosix.cpp and LogFileWindows.cpp hold the two sides.
#ifndef SUITE_PLATFORM_LOGFILE_H_
#define SUITE_PLATFORM_LOGFILE_H_

#include <cstddef>
#include <string>

namespace platform {

class LogFile {
 public:
  LogFile() = default;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;
  ~LogFile();

  // Opens the existing file at `path` for appending. False when it cannot
  // be opened; when it is refused, `refusal` also says why, in words for
  // the console: a path the trust rule refuses (TrustedPath.h), a link at
  // its name, not a regular file, or a file that has other names too.
  [[nodiscard]] bool Open(const std::string& path, std::string& refusal);

  // Appends `size` bytes from `data` at the file's end. False when the
  // system refused some of them.
  bool Append(const char* data, std::size_t size);

  // Stores in `head` the file's first `count` bytes (fewer when it is
  // shorter), so the logger can tell a log of its own from a file that
  // must never be appended to. False when they cannot be read.
  [[nodiscard]] bool ReadHead(std::size_t count, std::string& head);

 private:
  // Each system uses one of these two.
  [[maybe_unused]] void* handle = nullptr;  // Windows: HANDLE of the file
  [[maybe_unused]] int fd = -1;             // POSIX: the file's descriptor
};

}  // namespace platform

#endif  // SUITE_PLATFORM_LOGFILE_H_
