// The private file an editor works on: made in a new owner-only folder on a
// memory-backed file system, so the plaintext never reaches a disk, and
// wiped and removed with its folder and whatever the editor left there
// (files, sub-folders eight levels deep, links: a link goes itself, what it
// names is never touched) however the run ends: on destruction, and on
// every signal that a handler can catch and that ends the process by
// default. A run ended by a signal no handler sees (SIGKILL) leaves its
// folder; the folder's name carries the process id and the run holds a
// lock on it, so a later run removes the folders of the running user whose
// process is gone. One at a time per process. PrivateFilePosix.cpp and
// PrivateFileWindows.cpp hold the two sides.
#ifndef SUITE_PLATFORM_PRIVATEFILE_H_
#define SUITE_PLATFORM_PRIVATEFILE_H_

#include <cstddef>
#include <string>

namespace platform {

class PrivateFile {
 public:
  PrivateFile() = default;
  PrivateFile(const PrivateFile&) = delete;
  PrivateFile& operator=(const PrivateFile&) = delete;
  ~PrivateFile();

  // Removes, wiped, the private folders that runs of the running user left
  // when they were killed, with all they hold: those whose process is gone
  // and whose lock no one holds. Create calls it first.
  static void RemoveLeftBehind();

  // Makes the folder (0700) and in it the file `name` (0600) holding
  // `text`. On failure nothing is left behind and `reason` says why, in
  // words for the console.
  [[nodiscard]] bool Create(const std::string& name, const std::string& text,
                            std::string& reason);

  // Reads the file back whole (at most `max_size` bytes) into `text`; false
  // when it is gone, is no longer a regular file or is too large.
  [[nodiscard]] bool ReadBack(std::size_t max_size, std::string& text) const;

  // The file's path; empty before Create.
  const std::string& GetPath() const { return file; }

 private:
  std::string folder;
  std::string file;
  [[maybe_unused]] int room = -1;  // POSIX: the folder, open and locked while it exists
};

}  // namespace platform

#endif  // SUITE_PLATFORM_PRIVATEFILE_H_
