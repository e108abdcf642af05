// FileSystem.h: the system's file layer forwards to Files.h, on every system.
#include "suite/platform/FileSystem.h"

namespace platform {
namespace {

class SystemFileSystem final : public FileSystem {
 public:
  FileResult ReadWholeFile(const std::string& path, std::size_t max_size,
                           std::vector<unsigned char>& contents) override {
    return platform::ReadWholeFile(path, max_size, contents);
  }
  FileResult ReadFileHead(const std::string& path, std::size_t max_size, std::size_t count,
                          std::vector<unsigned char>& head, std::uint64_t& size) override {
    return platform::ReadFileHead(path, max_size, count, head, size);
  }
  FileResult ReadSecretFile(const std::string& path, std::size_t min_size, std::size_t max_size,
                            std::vector<unsigned char>& contents) override {
    return platform::ReadSecretFile(path, min_size, max_size, contents);
  }
  FileResult LockAndReadFile(const std::string& path, std::size_t max_size, LockedFile& lock,
                             std::vector<unsigned char>& contents) override {
    return platform::LockAndReadFile(path, max_size, lock, contents);
  }
  FileResult CreateLockedFile(LockedFile& lock, const unsigned char* data,
                              std::size_t size) override {
    return platform::CreateLockedFile(lock, data, size);
  }
  FileResult ReplaceLockedFile(LockedFile& lock, const unsigned char* data,
                               std::size_t size) override {
    return platform::ReplaceLockedFile(lock, data, size);
  }
  FileResult CreateFileAtomically(const std::string& path, const unsigned char* data,
                                  std::size_t size, bool make_folders) override {
    return platform::CreateFileAtomically(path, data, size, make_folders);
  }
  FileResult ReplaceFileAtomically(const std::string& path, const unsigned char* data,
                                   std::size_t size, Replacement how) override {
    return platform::ReplaceFileAtomically(path, data, size, how);
  }
  FileResult TakeExclusiveLock(const std::string& path, ExclusiveLock& lock) override {
    return platform::TakeExclusiveLock(path, lock);
  }
  std::vector<std::string> ListFilesNamed(const std::string& path,
                                          const std::string& suffix) override {
    return platform::ListFilesNamed(path, suffix);
  }
  FileResult RemoveFile(const std::string& path) override { return platform::RemoveFile(path); }
};

}  // namespace

FileSystem& SystemFiles() {
  static SystemFileSystem system;
  return system;
}

}  // namespace platform
