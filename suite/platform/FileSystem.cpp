// FileSystem.h: the system's file layer forwards to Files.h, on every system.
#include "suite/platform/FileSystem.h"

namespace platform {

FileResult FileSystem::ReadWholeFile(const std::string& path, std::size_t max_size,
                                     std::vector<unsigned char>& contents) {
  return platform::ReadWholeFile(path, max_size, contents);
}

FileResult FileSystem::ReadFileHead(const std::string& path, std::size_t max_size,
                                    std::size_t count, std::vector<unsigned char>& head,
                                    std::uint64_t& size) {
  return platform::ReadFileHead(path, max_size, count, head, size);
}

FileResult FileSystem::ReadSecretFile(const std::string& path, std::size_t min_size,
                                      std::size_t max_size, std::vector<unsigned char>& contents) {
  return platform::ReadSecretFile(path, min_size, max_size, contents);
}

FileResult FileSystem::LockAndReadFile(const std::string& path, std::size_t max_size,
                                       LockedFile& lock, std::vector<unsigned char>& contents) {
  return platform::LockAndReadFile(path, max_size, lock, contents);
}

FileResult FileSystem::CreateLockedFile(LockedFile& lock, const unsigned char* data,
                                        std::size_t size) {
  return platform::CreateLockedFile(lock, data, size);
}

FileResult FileSystem::ReplaceLockedFile(LockedFile& lock, const unsigned char* data,
                                         std::size_t size) {
  return platform::ReplaceLockedFile(lock, data, size);
}

FileResult FileSystem::CreateFileAtomically(const std::string& path, const unsigned char* data,
                                            std::size_t size, bool make_folders) {
  return platform::CreateFileAtomically(path, data, size, make_folders);
}

FileResult FileSystem::ReplaceFileAtomically(const std::string& path, const unsigned char* data,
                                             std::size_t size, Replacement how) {
  return platform::ReplaceFileAtomically(path, data, size, how);
}

FileResult FileSystem::TakeExclusiveLock(const std::string& path, ExclusiveLock& lock) {
  return platform::TakeExclusiveLock(path, lock);
}

std::vector<std::string> FileSystem::ListFilesNamed(const std::string& path,
                                                    const std::string& suffix) {
  return platform::ListFilesNamed(path, suffix);
}

FileResult FileSystem::RemoveFile(const std::string& path) { return platform::RemoveFile(path); }

FileResult FileSystem::ReadFileTail(const std::string& path, std::size_t count,
                                    std::vector<unsigned char>& tail) {
  return platform::ReadFileTail(path, count, tail);
}

FileResult FileSystem::AppendToFile(const std::string& path, const unsigned char* data,
                                    std::size_t size) {
  return platform::AppendToFile(path, data, size);
}

FileResult FileSystem::RewriteSmallFile(const std::string& path, const unsigned char* data,
                                        std::size_t size) {
  return platform::RewriteSmallFile(path, data, size);
}

FileSystem& SystemFiles() {
  static FileSystem system;
  return system;
}

}  // namespace platform
