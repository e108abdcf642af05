#include "Src/Misc/Decrypt/OutputFile.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <sodium.h>

#include <cerrno>
#include <cstddef>

#include <boost/filesystem.hpp>

#include "suite/utf8/Utf8Path.h"

namespace {

constexpr std::size_t kTemporaryTagSize = 8;
constexpr char kHexDigits[] = "0123456789abcdef";

#if defined(_WIN32)
int OpenExclusive(const std::string& path) {
  int fd = -1;
  const std::wstring wide = utf8::WidenUtf8(path);
  if (_wsopen_s(&fd, wide.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYRW,
                _S_IREAD | _S_IWRITE) != 0) {
    return -1;
  }
  return fd;
}
bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const int wrote = _write(fd, data.data() + done, static_cast<unsigned>(data.size() - done));
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return _commit(fd) == 0;
}
bool Close(int fd) { return _close(fd) == 0; }
bool RenameOver(const std::string& from, const std::string& to) {
  return MoveFileExW(utf8::WidenUtf8(from).c_str(), utf8::WidenUtf8(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
#else
int OpenExclusive(const std::string& path) {
  // O_EXCL with O_CREAT also refuses a symbolic link at the path.
  for (;;) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}
bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t wrote = ::write(fd, data.data() + done, data.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return ::fsync(fd) == 0;
}
bool Close(int fd) { return ::close(fd) == 0; }
bool RenameOver(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}
#endif

bool Exists(const std::string& path) {
  boost::system::error_code error;
  return boost::filesystem::symlink_status(utf8::MakePath(path), error).type() !=
         boost::filesystem::file_not_found;
}

void RemoveQuietly(const std::string& path) {
  boost::system::error_code error;
  boost::filesystem::remove(utf8::MakePath(path), error);
}

// Writes `data` to a new file at `path`; removes it again on failure.
OutputResult WriteExclusive(const std::string& path, const std::string& data) {
  const int fd = OpenExclusive(path);
  if (fd < 0) return Exists(path) ? OutputResult::kExists : OutputResult::kFailed;
  const bool written = WriteAll(fd, data);
  if (Close(fd) && written) return OutputResult::kOk;
  RemoveQuietly(path);
  return OutputResult::kFailed;
}

std::string TemporaryBeside(const std::string& path) {
  unsigned char tag[kTemporaryTagSize];
  randombytes_buf(tag, sizeof(tag));
  std::string name = path + ".tmp-";
  for (const unsigned char byte : tag) {
    name.push_back(kHexDigits[byte >> 4]);
    name.push_back(kHexDigits[byte & 0xF]);
  }
  return name;
}

}  // namespace

OutputResult WriteNewOutputFile(const std::string& path, const std::string& data) {
  return WriteExclusive(path, data);
}

OutputResult ReplaceOutputFile(const std::string& path, const std::string& data) {
  const std::string temporary = TemporaryBeside(path);
  if (WriteExclusive(temporary, data) != OutputResult::kOk) return OutputResult::kFailed;
  if (RenameOver(temporary, path)) return OutputResult::kOk;
  RemoveQuietly(temporary);
  return OutputResult::kFailed;
}
