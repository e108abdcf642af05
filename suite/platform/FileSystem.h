// The file layer as one interface (Files.h's calls as methods), so that a
// caller can be handed another implementation: the store and the host key
// write through the one the store library is given (tests hand it one that
// fails or "crashes" at a chosen write, sync or rename and forgets what was
// not synced), and so does a command's output file. A write-type method is,
// on disk, steps the real layer takes in this order: a temporary created and
// written, the temporary synced, renamed or linked to its name, the folder
// synced (on Windows the move is written through instead); RemoveFile
// unlinks, then syncs the folder. SystemFiles() is the real layer,
// forwarding to Files.h; it is stateless and thread-safe.
#ifndef SUITE_PLATFORM_FILESYSTEM_H_
#define SUITE_PLATFORM_FILESYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "suite/platform/Files.h"

namespace platform {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Each as the function of Files.h with the same name.
  [[nodiscard]] virtual FileResult ReadWholeFile(const std::string& path, std::size_t max_size,
                                                 std::vector<unsigned char>& contents) = 0;
  [[nodiscard]] virtual FileResult ReadFileHead(const std::string& path, std::size_t max_size,
                                                std::size_t count, std::vector<unsigned char>& head,
                                                std::uint64_t& size) = 0;
  [[nodiscard]] virtual FileResult ReadSecretFile(const std::string& path, std::size_t min_size,
                                                  std::size_t max_size,
                                                  std::vector<unsigned char>& contents) = 0;
  [[nodiscard]] virtual FileResult LockAndReadFile(const std::string& path, std::size_t max_size,
                                                   LockedFile& lock,
                                                   std::vector<unsigned char>& contents) = 0;
  [[nodiscard]] virtual FileResult CreateLockedFile(LockedFile& lock, const unsigned char* data,
                                                    std::size_t size) = 0;
  [[nodiscard]] virtual FileResult ReplaceLockedFile(LockedFile& lock, const unsigned char* data,
                                                     std::size_t size) = 0;
  [[nodiscard]] virtual FileResult CreateFileAtomically(const std::string& path,
                                                        const unsigned char* data,
                                                        std::size_t size, bool make_folders) = 0;
  [[nodiscard]] virtual FileResult ReplaceFileAtomically(const std::string& path,
                                                         const unsigned char* data,
                                                         std::size_t size, Replacement how) = 0;
  [[nodiscard]] virtual FileResult TakeExclusiveLock(const std::string& path,
                                                     ExclusiveLock& lock) = 0;
  virtual std::vector<std::string> ListFilesNamed(const std::string& path,
                                                  const std::string& suffix) = 0;
  [[nodiscard]] virtual FileResult RemoveFile(const std::string& path) = 0;
};

// The system's file layer.
FileSystem& SystemFiles();

}  // namespace platform

#endif  // SUITE_PLATFORM_FILESYSTEM_H_
