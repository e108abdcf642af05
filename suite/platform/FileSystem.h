// The file layer as one interface (Files.h's calls as methods), so that a
// caller can be handed another implementation: the store and the host key
// write through the one the store library is given (tests hand it one that
// fails or "crashes" at a chosen write, sync or rename and forgets what was
// not synced), and so does a command's output file. The class itself is the
// system's layer, each method forwarding to the function of Files.h with its
// name; another layer overrides what it changes. A write-type method is, on
// disk, steps the system's layer takes in this order: a temporary created
// and written, the temporary synced, renamed or linked to its name, the
// folder synced (on Windows the move is written through instead);
// RemoveFile unlinks, then syncs the folder; AppendToFile and
// RewriteSmallFile write in place, one step, unsynced. SystemFiles() is
// stateless and thread-safe.
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

  [[nodiscard]] virtual FileResult ReadWholeFile(const std::string& path, std::size_t max_size,
                                                 std::vector<unsigned char>& contents);
  [[nodiscard]] virtual FileResult ReadFileHead(const std::string& path, std::size_t max_size,
                                                std::size_t count, std::vector<unsigned char>& head,
                                                std::uint64_t& size);
  [[nodiscard]] virtual FileResult ReadSecretFile(const std::string& path, std::size_t min_size,
                                                  std::size_t max_size,
                                                  std::vector<unsigned char>& contents);
  [[nodiscard]] virtual FileResult LockAndReadFile(const std::string& path, std::size_t max_size,
                                                   LockedFile& lock,
                                                   std::vector<unsigned char>& contents);
  [[nodiscard]] virtual FileResult CreateLockedFile(LockedFile& lock, const unsigned char* data,
                                                    std::size_t size);
  [[nodiscard]] virtual FileResult ReplaceLockedFile(LockedFile& lock, const unsigned char* data,
                                                     std::size_t size);
  [[nodiscard]] virtual FileResult CreateFileAtomically(const std::string& path,
                                                        const unsigned char* data,
                                                        std::size_t size, bool make_folders);
  [[nodiscard]] virtual FileResult ReplaceFileAtomically(const std::string& path,
                                                         const unsigned char* data,
                                                         std::size_t size, Replacement how);
  [[nodiscard]] virtual FileResult TakeExclusiveLock(const std::string& path,
                                                     ExclusiveLock& lock);
  virtual std::vector<std::string> ListFilesNamed(const std::string& path,
                                                  const std::string& suffix);
  [[nodiscard]] virtual FileResult RemoveFile(const std::string& path);
  [[nodiscard]] virtual FileResult ReadFileTail(const std::string& path, std::size_t count,
                                                std::vector<unsigned char>& tail);
  [[nodiscard]] virtual FileResult AppendToFile(const std::string& path,
                                                const unsigned char* data, std::size_t size);
  [[nodiscard]] virtual FileResult RewriteSmallFile(const std::string& path,
                                                    const unsigned char* data, std::size_t size);
};

// The system's file layer: a FileSystem as it is.
FileSystem& SystemFiles();

}  // namespace platform

#endif  // SUITE_PLATFORM_FILESYSTEM_H_
