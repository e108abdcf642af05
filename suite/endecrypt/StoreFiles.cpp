#include "suite/endecrypt/StoreFiles.h"

#include <sodium.h>

#include <boost/filesystem/path.hpp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "suite/endecrypt/SecureBuffer.h"

#if defined(_WIN32)
#include <windows.h>
// sddl.h needs the declarations of windows.h.
#include <sddl.h>
#else
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace endecrypt {
namespace {

constexpr char kTempSuffix[] = ".tmp-";
constexpr char kHostKeyFolder[] = "kelvox";
constexpr char kHostKeyFileName[] = "host.key";

std::string ParentFolder(const std::string& path) {
  const std::string parent = boost::filesystem::path(path).parent_path().string();
  return parent.empty() ? std::string(".") : parent;
}

}  // namespace

FileResult ReadSecretFile(const std::string& path, std::size_t size, SecureBuffer& secret) {
  std::vector<unsigned char> contents;
  FileResult result = ReadWholeFile(path, size, contents);
  if (result == FileResult::kOk && contents.size() != size) result = FileResult::kWrongSize;
  if (result == FileResult::kOk && !secret.Allocate(size)) result = FileResult::kFailed;
  if (result == FileResult::kOk) std::memcpy(secret.data(), contents.data(), size);
  // The vector was sized once by the read, so this is the only copy to wipe.
  sodium_memzero(contents.data(), contents.size());
  return result;
}

#if !defined(_WIN32)

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr char kTempPattern[] = "XXXXXX";
constexpr char kRootHostKeyPath[] = "/var/lib/kelvox/host.key";
constexpr char kUserStateFolder[] = ".local/state";
// Bounds the retries of a writer whose store keeps being replaced under it.
constexpr int kMaxLockAttempts = 1000;

// A file descriptor closed on destruction.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (fd >= 0) ::close(fd);
  }
  int get() const { return fd; }
  int release() { return std::exchange(fd, -1); }

 private:
  int fd;
};

FileResult FromOpenError(int error) {
  return error == ENOENT || error == ENOTDIR ? FileResult::kNotFound : FileResult::kFailed;
}

bool WriteAll(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

FileResult ReadOpenFile(int fd, std::size_t max_size, std::vector<unsigned char>& contents) {
  struct stat status;
  if (::fstat(fd, &status) != 0) return FileResult::kFailed;
  if (!S_ISREG(status.st_mode) || static_cast<std::uint64_t>(status.st_size) > max_size) {
    return FileResult::kWrongSize;
  }
  std::vector<unsigned char> read(static_cast<std::size_t>(status.st_size));
  std::size_t done = 0;
  while (done < read.size()) {
    const ssize_t got = ::read(fd, read.data() + done, read.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return FileResult::kFailed;  // stores are replaced, never shrunk in place
    done += static_cast<std::size_t>(got);
  }
  contents = std::move(read);
  return FileResult::kOk;
}

// Syncs a folder so that names just added to it or renamed in it survive a
// crash of the system.
bool SyncFolder(const std::string& folder) {
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Creates `folder` and its missing ancestors, owner-only, and syncs the
// parent of each one made so the new names are durable.
bool MakeFolders(const std::string& folder) {
  if (IsFolder(folder)) return true;
  const std::string parent = ParentFolder(folder);
  if (parent != folder && !MakeFolders(parent)) return false;
  if (::mkdir(folder.c_str(), kFolderMode) != 0) return errno == EEXIST && IsFolder(folder);
  return SyncFolder(parent);
}

// Writes `data` to a new owner-only file beside `path`, synced to disk, and
// stores its name in `temp`. Nothing is left behind on failure.
bool WriteTempFile(const std::string& path, const unsigned char* data, std::size_t size,
                   std::string& temp) {
  std::string name = path + kTempSuffix + kTempPattern;
  // mkostemp creates the file with mode 0600 and O_EXCL.
  UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
  if (fd.get() < 0) return false;
  const bool written = WriteAll(fd.get(), data, size) && ::fsync(fd.get()) == 0;
  const bool closed = ::close(fd.release()) == 0;
  if (!written || !closed) {
    ::unlink(name.c_str());
    return false;
  }
  temp = std::move(name);
  return true;
}

}  // namespace

StoreLock::~StoreLock() {
  if (fd >= 0) ::close(fd);  // closing releases the flock
}

FileResult ReadWholeFile(const std::string& path, std::size_t max_size,
                         std::vector<unsigned char>& contents) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return FromOpenError(errno);
  return ReadOpenFile(fd.get(), max_size, contents);
}

FileResult LockAndReadStore(const std::string& path, std::size_t max_size, StoreLock& lock,
                            std::vector<unsigned char>& contents) {
  for (int attempt = 0; attempt < kMaxLockAttempts; ++attempt) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return FromOpenError(errno);
    int locked;
    do {
      locked = ::flock(fd.get(), LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) return FileResult::kFailed;
    // The lock sits on the file, and a writer replaces the file: while we
    // waited, the name may have moved on to a newer store. Only a lock on
    // the file the name still points at serialises us with other writers.
    struct stat held;
    struct stat named;
    if (::fstat(fd.get(), &held) != 0) return FileResult::kFailed;
    if (::stat(path.c_str(), &named) != 0) {
      if (errno == ENOENT) continue;
      return FileResult::kFailed;
    }
    if (held.st_dev != named.st_dev || held.st_ino != named.st_ino) continue;
    const FileResult result = ReadOpenFile(fd.get(), max_size, contents);
    if (result == FileResult::kOk) {
      if (lock.fd >= 0) ::close(lock.fd);
      lock.fd = fd.release();
    }
    return result;
  }
  return FileResult::kFailed;
}

FileResult CreateFileAtomically(const std::string& path, const unsigned char* data,
                                std::size_t size) {
  const std::string folder = ParentFolder(path);
  std::string temp;
  if (!MakeFolders(folder) || !WriteTempFile(path, data, size, temp)) return FileResult::kFailed;
  // link, unlike rename, refuses to replace: two processes creating the
  // same store or host key cannot overwrite each other, and the loser
  // learns it must read what the winner wrote.
  const int linked = ::link(temp.c_str(), path.c_str());
  const int link_error = errno;
  ::unlink(temp.c_str());
  if (linked != 0) return link_error == EEXIST ? FileResult::kExists : FileResult::kFailed;
  // The file is in place; a failed folder sync only weakens its durability
  // across a power loss, and reporting failure now would be false.
  static_cast<void>(SyncFolder(folder));
  return FileResult::kOk;
}

FileResult ReplaceFileAtomically(const std::string& path, const unsigned char* data,
                                 std::size_t size) {
  std::string temp;
  if (!WriteTempFile(path, data, size, temp)) return FileResult::kFailed;
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return FileResult::kFailed;
  }
  // As in CreateFileAtomically: the new store is what readers see now.
  static_cast<void>(SyncFolder(ParentFolder(path)));
  return FileResult::kOk;
}

std::string DefaultHostKeyPath() {
  if (::geteuid() == 0) return kRootHostKeyPath;
  std::string home;
  if (const char* variable = std::getenv("HOME"); variable != nullptr && *variable != '\0') {
    home = variable;
  } else {
    struct passwd entry;
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
      home = found->pw_dir;
    }
  }
  if (home.empty()) return {};
  return home + "/" + kUserStateFolder + "/" + kHostKeyFolder + "/" + kHostKeyFileName;
}

#else  // _WIN32

namespace {

// Owner-only on Windows: a protected access list that grants full control
// to the file's owner and to the system account and inherits nothing.
// The access list names the current user's SID: Wine does not resolve the
// OWNER RIGHTS alias ("OW"), so files written with it cannot be removed there.
std::wstring OwnerOnlySddl() {
  std::wstring sid = L"OW";
  HANDLE token = nullptr;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    wchar_t* text = nullptr;
    if (::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
      sid = text;
      ::LocalFree(text);
    }
    ::CloseHandle(token);
  }
  return L"D:P(A;OICI;FA;;;" + sid + L")(A;OICI;FA;;;SY)";
}
constexpr char kLockSuffix[] = ".lock";
constexpr std::size_t kTempNameBytes = 8;
constexpr DWORD kMaxChunk = 1u << 30;

std::wstring Wide(const std::string& path) { return boost::filesystem::path(path).wstring(); }

// A HANDLE closed on destruction.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() {
    if (valid()) ::CloseHandle(handle);
  }
  bool valid() const { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
  HANDLE get() const { return handle; }
  HANDLE release() { return std::exchange(handle, INVALID_HANDLE_VALUE); }

 private:
  HANDLE handle;
};

// Security attributes carrying OwnerOnlySddl(), for files and folders we create.
class OwnerOnly {
 public:
  OwnerOnly() {
    attributes.nLength = sizeof(attributes);
    attributes.bInheritHandle = FALSE;
    attributes.lpSecurityDescriptor = nullptr;
    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        OwnerOnlySddl().c_str(), SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr);
  }
  OwnerOnly(const OwnerOnly&) = delete;
  OwnerOnly& operator=(const OwnerOnly&) = delete;
  ~OwnerOnly() { ::LocalFree(attributes.lpSecurityDescriptor); }
  bool valid() const { return attributes.lpSecurityDescriptor != nullptr; }
  SECURITY_ATTRIBUTES* get() { return &attributes; }

 private:
  SECURITY_ATTRIBUTES attributes;
};

FileResult FromOpenError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileResult::kNotFound
                                                                        : FileResult::kFailed;
}

bool WriteAll(HANDLE file, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > kMaxChunk ? kMaxChunk : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr)) return false;
    data += written;
    size -= written;
  }
  return true;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeFolders(const std::string& folder, OwnerOnly& owner_only) {
  if (IsFolder(folder)) return true;
  const std::string parent = ParentFolder(folder);
  if (parent != folder && !MakeFolders(parent, owner_only)) return false;
  return ::CreateDirectoryW(Wide(folder).c_str(), owner_only.get()) ||
         (::GetLastError() == ERROR_ALREADY_EXISTS && IsFolder(folder));
}

bool WriteTempFile(const std::string& path, const unsigned char* data, std::size_t size,
                   OwnerOnly& owner_only, std::string& temp) {
  unsigned char random[kTempNameBytes];
  randombytes_buf(random, sizeof(random));
  char hex[2 * kTempNameBytes + 1];
  sodium_bin2hex(hex, sizeof(hex), random, sizeof(random));
  std::string name = path + kTempSuffix + hex;
  UniqueHandle file(::CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, owner_only.get(),
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  const bool written = WriteAll(file.get(), data, size) && ::FlushFileBuffers(file.get());
  const bool closed = ::CloseHandle(file.release()) != 0;
  if (!written || !closed) {
    ::DeleteFileW(Wide(name).c_str());
    return false;
  }
  temp = std::move(name);
  return true;
}

}  // namespace

StoreLock::~StoreLock() {
  if (handle != nullptr) ::CloseHandle(static_cast<HANDLE>(handle));  // releases the lock
}

FileResult ReadWholeFile(const std::string& path, std::size_t max_size,
                         std::vector<unsigned char>& contents) {
  // A folder at the path is not a store. Opened as a file it would fail
  // with "access denied" and pass for a refusal of the system.
  if (IsFolder(path)) return FileResult::kWrongSize;
  // Readers share delete access, so a writer can rename over the store
  // while it is being read.
  UniqueHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return FromOpenError(::GetLastError());
  LARGE_INTEGER size;
  if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileSizeEx(file.get(), &size) ||
      static_cast<std::uint64_t>(size.QuadPart) > max_size) {
    return FileResult::kWrongSize;
  }
  std::vector<unsigned char> read(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  while (done < read.size()) {
    const std::size_t left = read.size() - done;
    DWORD got = 0;
    if (!::ReadFile(file.get(), read.data() + done,
                    left > kMaxChunk ? kMaxChunk : static_cast<DWORD>(left), &got, nullptr) ||
        got == 0) {
      return FileResult::kFailed;
    }
    done += got;
  }
  contents = std::move(read);
  return FileResult::kOk;
}

FileResult LockAndReadStore(const std::string& path, std::size_t max_size, StoreLock& lock,
                            std::vector<unsigned char>& contents) {
  // The store itself cannot carry the lock here: a file open in another
  // process cannot reliably be replaced by MoveFileExW. Writers lock a
  // companion file instead, which is never replaced.
  if (!IsFolder(ParentFolder(path))) return FileResult::kNotFound;
  OwnerOnly owner_only;
  if (!owner_only.valid()) return FileResult::kFailed;
  UniqueHandle lock_file(
      ::CreateFileW(Wide(path + kLockSuffix).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, owner_only.get(),
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!lock_file.valid()) return FromOpenError(::GetLastError());
  OVERLAPPED whole_file = {};
  if (!::LockFileEx(lock_file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole_file)) {
    return FileResult::kFailed;
  }
  const FileResult result = ReadWholeFile(path, max_size, contents);
  if (result == FileResult::kOk) {
    if (lock.handle != nullptr) ::CloseHandle(static_cast<HANDLE>(lock.handle));
    lock.handle = lock_file.release();
  }
  return result;
}

FileResult CreateFileAtomically(const std::string& path, const unsigned char* data,
                                std::size_t size) {
  OwnerOnly owner_only;
  std::string temp;
  if (!owner_only.valid() || !MakeFolders(ParentFolder(path), owner_only) ||
      !WriteTempFile(path, data, size, owner_only, temp)) {
    return FileResult::kFailed;
  }
  // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing target,
  // as link does on POSIX.
  if (!::MoveFileExW(Wide(temp).c_str(), Wide(path).c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    ::DeleteFileW(Wide(temp).c_str());
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? FileResult::kExists
                                                                       : FileResult::kFailed;
  }
  return FileResult::kOk;
}

FileResult ReplaceFileAtomically(const std::string& path, const unsigned char* data,
                                 std::size_t size) {
  OwnerOnly owner_only;
  std::string temp;
  if (!owner_only.valid() || !WriteTempFile(path, data, size, owner_only, temp)) {
    return FileResult::kFailed;
  }
  if (!::MoveFileExW(Wide(temp).c_str(), Wide(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(Wide(temp).c_str());
    return FileResult::kFailed;
  }
  return FileResult::kOk;
}

std::string DefaultHostKeyPath() {
  const char* local = std::getenv("LOCALAPPDATA");
  if (local == nullptr || *local == '\0') return {};
  return std::string(local) + "\\" + kHostKeyFolder + "\\" + kHostKeyFileName;
}

#endif  // _WIN32

}  // namespace endecrypt
