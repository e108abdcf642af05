// Files as the suite sees them, on every system: reading a file whole,
// reading a secret file that must be trustworthy, the lock that serialises
// the writers of one file, and creating or replacing a file atomically. The
// POSIX and Windows sides live in FilesPosix.cpp and FilesWindows.cpp; no
// caller tests the platform itself. Each call is thread-safe. Nothing here
// blocks on a FIFO or a device found where a file should be. Every call
// but ReadHandedFile and ListFilesNamed first checks its path against the
// one trust rule (TrustedPath.h), and fails with kUntrusted, naming the
// path and the check, where the rule refuses it.
#ifndef SUITE_PLATFORM_FILES_H_
#define SUITE_PLATFORM_FILES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "suite/secretmemory/SecretMemory.h"

namespace platform {

// What a file call came to: its kind and, for a refusal, the reason, which
// names the path and what is wrong with it or the system's error ("'/a/b'
// refused: it is a symbolic link", "writing '/a/b' failed: No space left on
// device"), never what the file holds. Nothing here logs: the caller says
// what it makes of the reason. A result is compared and switched on as its
// kind (`result == FileResult::kOk`), and a kind alone is a result.
class FileResult {
 public:
  enum Kind {
    kOk,
    kNotFound,   // nothing at the path
    kWrongSize,  // not a regular file, or outside the sizes the caller accepts
    kExists,     // creation found a file already at the path
    kBadPath,    // no file can be at the path: a dangling or looping link, a name
                 // too long, a folder that cannot be made
    kUntrusted,  // a path the trust rule refuses: someone else could have planted,
                 // swapped or read what is there
    kChanged,    // the locked file's name no longer names the file that was read
    kBusy,       // another process holds the lock
    kFailed,     // any other refusal of the system
  };

  FileResult(Kind kind = kOk) : kind(kind) {}
  FileResult(Kind kind, std::string reason) : kind(kind), reason(std::move(reason)) {}

  operator Kind() const { return kind; }
  // Why the call failed; empty when the kind says all.
  [[nodiscard]] const std::string& GetReason() const { return reason; }

 private:
  Kind kind;
  std::string reason;
};

// The exclusive lock of one file's writers, held from LockAndReadFile until
// destruction: the lock of a lock file ".<hash of the name>.lock" beside
// it, made new and owner-only, so no one who may merely read the folder can
// hold the writers up; a file found at that name is used only when it is
// an empty owner-only file of the running user's, never adopted. The file's path is resolved once, when it is taken;
// every later operation works relative to the locked folder and to the file
// that was read there, never through the path again. Readers take no lock:
// they always see a whole file, since locked files are only ever replaced by
// renaming. Temporary files are only made under the lock, so taking it
// removes those that killed writers left.
class LockedFile {
 public:
  LockedFile() = default;
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;
  ~LockedFile();

  // How long LockAndReadFile waits for another writer before it gives up
  // with kBusy; after a second of waiting it says on standard error which
  // lock it waits for.
  void SetWaitSeconds(int seconds) { wait_seconds = seconds; }

 private:
  friend FileResult LockAndReadFile(const std::string&, std::size_t, LockedFile&,
                                    std::vector<unsigned char>&);
  friend FileResult CreateLockedFile(LockedFile&, const unsigned char*, std::size_t);
  friend FileResult ReplaceLockedFile(LockedFile&, const unsigned char*, std::size_t);

  std::string path;  // the file, links resolved; for messages and (Windows) the calls
  std::string name;  // its name inside the locked folder
  int wait_seconds = 30;
  bool read = false;  // a file was read, and `identity` names it
  std::uint64_t identity[2] = {0, 0};  // device and inode (volume and file index)
  // Each system uses one of these two.
  [[maybe_unused]] void* handle = nullptr;  // Windows: HANDLE of the lock file
  [[maybe_unused]] int folder = -1;         // POSIX: the folder of the file
  [[maybe_unused]] int lock_fd = -1;        // POSIX: the lock file
};

// Reads the regular file at `path` into `contents`, when the path passes
// the trust rule (TrustedPath.h; a link at its end is followed on the
// rule's terms): kUntrusted otherwise. kWrongSize when it is larger than
// `max_size` or not a regular file. `contents` is untouched on failure.
[[nodiscard]] FileResult ReadWholeFile(const std::string& path, std::size_t max_size,
                                       std::vector<unsigned char>& contents);

// Reads a file the user hands a command as its input (a value to store, an
// age file to import) as ReadWholeFile does, but without the trust rule:
// such a file decides nothing but its own content, and the user named it.
[[nodiscard]] FileResult ReadHandedFile(const std::string& path, std::size_t max_size,
                                        std::vector<unsigned char>& contents);

// Reads the regular file at `path` as ReadWholeFile does, but only its first
// `count` bytes (all of it when shorter) into `head`, and its whole size
// into `size`: a header is decoded without reading what follows it.
[[nodiscard]] FileResult ReadFileHead(const std::string& path, std::size_t max_size,
                                      std::size_t count, std::vector<unsigned char>& head,
                                      std::uint64_t& size);

// Reads the file at `path`, which must hold from `min_size` to `max_size`
// bytes, into `contents`. The file must be trustworthy as the only guard of
// a key: its path passes the trust rule, with no link at its end, and it is
// a regular file owned by the running user, with no access for group or
// others. kUntrusted, with the check that failed, otherwise. On success the
// caller owns the only copy of the bytes and must wipe it; on failure
// nothing was kept.
[[nodiscard]] FileResult ReadSecretFile(const std::string& path, std::size_t min_size,
                                        std::size_t max_size,
                                        std::vector<unsigned char>& contents);

// Checks `path` against the trust rule, resolves it once (a symbolic link
// there is followed to the file it names; kBadPath when it names nothing), makes its missing folders
// owner-only, takes the writers' lock of the file, waiting for it, and
// reads it as ReadWholeFile does. kNotFound when there is no file; the lock
// is held then, and the file is made with CreateLockedFile.
[[nodiscard]] FileResult LockAndReadFile(const std::string& path, std::size_t max_size,
                                         LockedFile& lock, std::vector<unsigned char>& contents);

// Makes the locked file, which was not found, holding `data`, owner-only,
// durably, whole or not at all. kExists when a file got there first.
[[nodiscard]] FileResult CreateLockedFile(LockedFile& lock, const unsigned char* data,
                                          std::size_t size);

// Replaces the locked file by one holding `data`, durably and atomically:
// readers see the old file or the new one. kChanged, with nothing written,
// when the name in the locked folder no longer refers to the file that was
// read (someone swapped it, for a link above all). The new file keeps the
// old one's owner, group and permissions where the system lets us set them
// (on Windows its access list, the owner being the writer), and is never
// more open than the old one. On failure the old file is
// untouched and no temporary file is left.
[[nodiscard]] FileResult ReplaceLockedFile(LockedFile& lock, const unsigned char* data,
                                           std::size_t size);

// The permissions of a file the suite makes: read and write for its owner
// alone. A caller may widen them (a rendered configuration file read by a
// service's group) with the POSIX permission bits of `mode` below; on
// Windows the access list stays owner-only whatever `mode` says, since it
// has no group or others in that sense.
inline constexpr std::uint32_t kOwnerOnlyFileMode = 0600;

// Makes a file at `path` holding `data`, durably, if none is there yet
// (also not a link): the file has `mode` and appears whole or not at all;
// with `make_folders` its missing folders are made owner-only first.
// kExists when something is at the path. On failure nothing new is left
// at or beside `path` (folders aside).
[[nodiscard]] FileResult CreateFileAtomically(const std::string& path, const unsigned char* data,
                                              std::size_t size, bool make_folders,
                                              std::uint32_t mode = kOwnerOnlyFileMode);

// How ReplaceFileAtomically treats what is at the path.
enum class Replacement {
  kKeepAccess,  // a link at the path is followed and kept (on Windows
                // replaced); the new file takes the old one's access, never
                // more open
  kOwnerOnly,   // the entry at the path itself is replaced by an owner-only file
                // (or one of the `mode` given)
};

// Replaces the file at `path` by a file holding `data`, durably and
// atomically, as `how` says; `mode` serves kOwnerOnly only. On failure the
// old file is untouched and no temporary file is left.
[[nodiscard]] FileResult ReplaceFileAtomically(const std::string& path, const unsigned char* data,
                                               std::size_t size, Replacement how,
                                               std::uint32_t mode = kOwnerOnlyFileMode);

// An exclusive lock on a lock file of its own, held from TakeExclusiveLock
// until destruction, for changes that span several files (the host key
// and the keys kept beside it). The lock file is made owner-only when
// missing and is never removed.
class ExclusiveLock {
 public:
  ExclusiveLock() = default;
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;
  ~ExclusiveLock();

 private:
  friend FileResult TakeExclusiveLock(const std::string&, ExclusiveLock&);

  // Each system uses one of these two.
  [[maybe_unused]] void* handle = nullptr;  // Windows: HANDLE of the lock file
  [[maybe_unused]] int fd = -1;             // POSIX: the lock file
};

// Takes the lock of the lock file at `path` (not a link; made new, or an
// empty owner-only file of the running user's, never adopted), making its
// missing folders owner-only first, without waiting: kBusy when another
// process holds it.
[[nodiscard]] FileResult TakeExclusiveLock(const std::string& path, ExclusiveLock& lock);

// The names, without their folder, of the regular files in the folder of
// `path` whose names begin with the name of `path` followed by `suffix`.
// Empty when the folder cannot be read.
std::vector<std::string> ListFilesNamed(const std::string& path, const std::string& suffix);

// Writes `data` over the small owner-only file at `path`, made new
// (owner-only) when missing, in place and without syncing it: for state
// that is cheap to lose and costly to sync on every run (the audit log's
// last link, which the log itself also holds). Refused (kUntrusted) when
// the path fails the trust rule or the file is not a regular file of the
// running user's with one name.
[[nodiscard]] FileResult RewriteSmallFile(const std::string& path, const unsigned char* data,
                                          std::size_t size);

// Stores in `tail` the last `count` bytes of the regular file at `path`
// (all of it when it is shorter), not through a link at its name: where an
// append-only log finds its last line without reading the whole file.
[[nodiscard]] FileResult ReadFileTail(const std::string& path, std::size_t count,
                                      std::vector<unsigned char>& tail);

// Appends `data` at the end of the file at `path`, made new (owner-only)
// when missing, in one write and without syncing it: what was written
// outlives the process, not a power cut. Refused (kUntrusted) as
// RewriteSmallFile refuses.
[[nodiscard]] FileResult AppendToFile(const std::string& path, const unsigned char* data,
                                      std::size_t size);

// Removes the file at `path` (a link there itself, never what it names).
// kNotFound when nothing is there.
[[nodiscard]] FileResult RemoveFile(const std::string& path);

// True when the system refuses this process access to what is at `path`
// (the entry itself, or a folder on the way to it) for lack of permission:
// a refusal to name as such rather than as a missing or damaged file.
[[nodiscard]] bool IsAccessDenied(const std::string& path);

}  // namespace platform

#endif  // SUITE_PLATFORM_FILES_H_
