// The operating system as the store sees it: reading a file whole, the lock
// that serialises the writers of one store, and creating or replacing a file
// atomically with owner-only permissions. Every other source of the library
// reaches files only through these calls. The POSIX and Windows sides live
// in StoreFilesPosix.cpp and StoreFilesWindows.cpp; each call is thread-safe.
// Nothing here blocks on a FIFO or a device found where a file should be.
#ifndef SUITE_ENDECRYPT_STOREFILES_H_
#define SUITE_ENDECRYPT_STOREFILES_H_

#include <cstddef>
#include <string>
#include <vector>

namespace endecrypt {

class SecureBuffer;

enum class FileResult {
  kOk,
  kNotFound,   // nothing at the path
  kWrongSize,  // not a regular file, or outside the sizes the caller accepts
  kExists,     // creation found a file already at the path
  kBadPath,    // no file can be at the path: a dangling or looping link, a name
               // too long, a folder that cannot be made
  kUntrusted,  // a secret file that someone else could have planted or read
  kFailed,     // any other refusal of the system
};

// The exclusive lock of one store's writers, held from LockAndReadStore
// until destruction (on POSIX the lock of the store's folder, on Windows of
// a lock file beside the store). Readers take no lock: they always see a
// whole store, since stores are only ever replaced by renaming. Temporary
// files are only made under the lock, so taking it removes those that killed
// writers left.
class StoreLock {
 public:
  StoreLock() = default;
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  ~StoreLock();

 private:
  friend FileResult LockAndReadStore(const std::string&, std::size_t, StoreLock&,
                                     std::vector<unsigned char>&);
#if defined(_WIN32)
  void* handle = nullptr;  // HANDLE of the lock file
#else
  int fd = -1;  // the store's folder, flock()ed
#endif
};

// Reads the regular file at `path` into `contents`. kWrongSize when it is
// larger than `max_size` or not a regular file. `contents` is untouched on
// failure.
[[nodiscard]] FileResult ReadWholeFile(const std::string& path, std::size_t max_size,
                                       std::vector<unsigned char>& contents);

// Reads the file at `path`, which must hold from `min_size` to `max_size`
// bytes, into guarded memory (`secret`, allocated here to the file's size). The file must be trustworthy as
// the only guard of a key: not a symbolic link, a regular file owned by the
// running user, with no access for group or others, in a folder that group
// and others cannot write to. kUntrusted (logged with the reason) otherwise,
// also when the file is absent but its folder is open to others.
[[nodiscard]] FileResult ReadSecretFile(const std::string& path, std::size_t min_size,
                                        std::size_t max_size, SecureBuffer& secret);

// Takes the writers' lock of the store at `path`, waiting for it, and reads
// the store as ReadWholeFile does. A symbolic link at `path` is followed to
// the store it names (kBadPath when it names nothing). Missing folders are
// made owner-only. kNotFound when there is no store; the lock is held then,
// and a new store must be made with CreateFileAtomically.
[[nodiscard]] FileResult LockAndReadStore(const std::string& path, std::size_t max_size,
                                          StoreLock& lock, std::vector<unsigned char>& contents);

// Makes a file at `path` holding `data`, durably, if none is there yet:
// missing parent folders are created owner-only, the file is owner-only,
// and it appears whole or not at all. kExists when a file got there first.
// On failure nothing new is left at or beside `path` (folders aside).
// For a store, the caller holds its StoreLock.
[[nodiscard]] FileResult CreateFileAtomically(const std::string& path, const unsigned char* data,
                                              std::size_t size);

// Replaces the file at `path` (the file a symbolic link there names, the
// link kept) by a file holding `data`, durably and atomically: readers see
// the old file or the new one. The new file keeps the old one's owner, group
// and permissions where the system lets us set them, and is never more open
// than the old one. On failure the old file is untouched and no temporary
// file is left.
// REQUIRES: the caller holds the StoreLock of `path`.
[[nodiscard]] FileResult ReplaceFileAtomically(const std::string& path, const unsigned char* data,
                                               std::size_t size);

// Where the host key lives when the configuration does not say: a system
// path for the administrator, a per-user state folder otherwise. Empty when
// no such folder can be named.
std::string DefaultHostKeyPath();

// Makes a write past the process's file-size limit fail with an error
// instead of killing the process, so the store can report it and clean up.
void IgnoreFileSizeSignal();

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_STOREFILES_H_
