// Files.h on Windows.
#include <windows.h>
// aclapi.h and sddl.h need the declarations of windows.h.
#include <aclapi.h>
#include <sddl.h>
#include <sodium.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "suite/platform/DescriptorWindows.h"
#include "suite/platform/FileNames.h"
#include "suite/platform/Files.h"
#include "suite/platform/LockWait.h"
#include "suite/platform/OwnerOnly.h"
#include "suite/platform/OwnerOnlyWindows.h"
#include "suite/platform/Process.h"
#include "suite/platform/Utf8PathWindows.h"

namespace platform {
namespace {

// Paths are UTF-8 inside the suite, as the configuration file holds them;
// they become UTF-16 only at the system call.
std::wstring Wide(const std::string& path) { return WidenUtf8(path); }

std::string InFolderOf(const std::string& path, const std::string& name) {
  return ParentFolder(path) + "\\" + name;
}

// "'path'", as every reason names a path.
std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// A refusal of the system: "what 'path' failed: system error N".
FileResult SystemFailure(const char* what, const std::string& path, DWORD error) {
  return {FileResult::kFailed, std::string(what) + " " + Quoted(path) + " failed: system error " +
                                   std::to_string(error)};
}

FileResult FromOpenError(DWORD error, const std::string& path) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return FileResult::kNotFound;
    case ERROR_FILENAME_EXCED_RANGE:
      return {FileResult::kBadPath, "path too long for the system (" + std::to_string(path.size()) +
                                        " bytes): " + Quoted(path)};
    default: return SystemFailure("opening", path, error);
  }
}

// Takes the lock of the open lock file `file` if no one holds it: kOk,
// kBusy, or kFailed.
FileResult TryLock(HANDLE file) {
  OVERLAPPED whole_file = {};
  if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                   MAXDWORD, &whole_file)) {
    return FileResult::kOk;
  }
  return ::GetLastError() == ERROR_LOCK_VIOLATION ? FileResult::kBusy : FileResult::kFailed;
}

// Opens the file at `path` for reading. Readers share delete access, so a
// writer can rename over the store while it is being read.
HANDLE OpenForReading(const std::string& path) {
  return ::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Reads the open file `file`, found at `path`.
FileResult ReadOpenFile(HANDLE file, const std::string& path, std::size_t max_size,
                        std::vector<unsigned char>& contents,
                        std::size_t count = std::numeric_limits<std::size_t>::max(),
                        std::uint64_t* whole_size = nullptr) {
  LARGE_INTEGER size;
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size)) {
    return {FileResult::kWrongSize, Quoted(path) + " is not a regular file"};
  }
  if (static_cast<std::uint64_t>(size.QuadPart) > max_size) {
    return {FileResult::kWrongSize, Quoted(path) + " holds " + std::to_string(size.QuadPart) +
                                        " bytes, beyond the limit of " + std::to_string(max_size)};
  }
  std::vector<unsigned char> read(std::min(static_cast<std::size_t>(size.QuadPart), count));
  ::SetLastError(ERROR_SUCCESS);
  if (!ReadFully(file, read.data(), read.size())) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_SUCCESS) return SystemFailure("reading", path, error);
    return {FileResult::kFailed, Quoted(path) + " ended while it was read"};
  }
  contents = std::move(read);
  if (whole_size != nullptr) *whole_size = static_cast<std::uint64_t>(size.QuadPart);
  return FileResult::kOk;
}

// Gives the open temporary `file` the access list of the entry at `path`
// it is to replace (a link's own list, since the link is what is replaced),
// protected or inheriting as that one was. Where there is no old entry, or
// its list is missing (a null list admits everyone) or cannot be copied,
// the temporary keeps the owner-only list it was made with: narrower,
// never wider, as on POSIX.
void KeepAccessList(const std::string& path, HANDLE file) {
  UniqueHandle old(::CreateFileW(Wide(path).c_str(), READ_CONTROL,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!old.valid() || ::GetSecurityInfo(old.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                        nullptr, nullptr, &list, nullptr,
                                        &descriptor) != ERROR_SUCCESS) {
    return;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (list != nullptr && ::GetSecurityDescriptorControl(descriptor, &control, &revision)) {
    static_cast<void>(::SetSecurityInfo(
        file, SE_FILE_OBJECT,
        DACL_SECURITY_INFORMATION |
            ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                                : UNPROTECTED_DACL_SECURITY_INFORMATION),
        nullptr, nullptr, list, nullptr));
  }
  ::LocalFree(descriptor);
}

// Writes `data` into a new temporary beside `path`, made owner-only; with
// `keep_access` it then takes the access list of the file at `path`.
FileResult WriteTempFile(const std::string& path, const unsigned char* data, std::size_t size,
                         OwnerOnly& owner_only, bool keep_access, std::string& temp) {
  std::string name = InFolderOf(path, TempName(path, ::GetCurrentProcessId()));
  UniqueHandle file(::CreateFileW(Wide(name).c_str(), GENERIC_WRITE | READ_CONTROL | WRITE_DAC,
                                  0, owner_only.get(), CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
  if (!file.valid()) return SystemFailure("making a file beside", path, ::GetLastError());
  const bool written = WriteFully(file.get(), data, size) && ::FlushFileBuffers(file.get());
  if (written && keep_access) KeepAccessList(path, file.get());
  const bool closed = ::CloseHandle(file.release()) != 0;
  if (!written || !closed) {
    const FileResult failed = SystemFailure("writing", path, ::GetLastError());
    ::DeleteFileW(Wide(name).c_str());
    return failed;
  }
  temp = std::move(name);
  return FileResult::kOk;
}

// Removes the temporaries of the file at `path` whose writers have gone,
// so a file replaced outside any lock (an output file, a key) does not keep
// what a killed writer left beside it. With `locked` the caller holds the
// writers' lock of the store at `path`, under which its temporaries are
// made: a temporary named without its writer's id (by an earlier version)
// is dead then too.
void RemoveDeadTemporaries(const std::string& path, bool locked) {
  const std::string prefix = TempNamePrefix(path);
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileW(Wide(InFolderOf(path, prefix + "*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> dead;
  do {
    const std::wstring name = found.cFileName;
    std::uint32_t writer = 0;
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        ReadTempName(NarrowToUtf8(name), prefix, writer) &&
        (writer == 0 ? locked : ProcessIsGone(writer))) {
      dead.push_back(Wide(InFolderOf(path, "")) + name);
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  for (const std::wstring& name : dead) ::DeleteFileW(name.c_str());
}

FileResult Distrust(const std::string& path, const char* reason) {
  return {FileResult::kUntrusted, Quoted(path) + " refused: " + reason};
}

// Why the open secret file `file` must not be trusted, or null: it must be
// owned by the running user, and its access list may admit nobody but that
// user and the system account.
const char* DistrustOfFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!::GetFileInformationByHandle(file, &information)) return "its attributes cannot be read";
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return "it is a symbolic link";
  }
  PSID owner = nullptr;
  PACL access = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(file, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &access, nullptr, &descriptor) != ERROR_SUCCESS) {
    return "its access list cannot be read";
  }
  std::vector<unsigned char> user = CurrentUser();
  const char* reason = nullptr;
  if (SidOf(user) == nullptr || owner == nullptr || !::EqualSid(owner, SidOf(user))) {
    reason = "it is owned by another user";
  } else if (access == nullptr) {
    reason = "everybody has access to it";
  }
  unsigned char system[SECURITY_MAX_SID_SIZE];
  DWORD system_size = sizeof(system);
  if (reason == nullptr && !::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &system_size)) {
    reason = "its access list cannot be checked";
  }
  for (DWORD i = 0; reason == nullptr && i < access->AceCount; ++i) {
    void* entry = nullptr;
    if (!::GetAce(access, i, &entry)) {
      reason = "its access list cannot be read";
      break;
    }
    const auto* header = static_cast<ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    PSID admitted = &static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart;
    if (!::EqualSid(admitted, SidOf(user)) && !::EqualSid(admitted, system)) {
      reason = "others have access to it";
    }
  }
  ::LocalFree(descriptor);
  return reason;
}

// Stores in `identity` the volume and file index of the entry at `path`
// itself (a link is not followed).
bool IdentityOf(const std::string& path, std::uint64_t identity[2]) {
  UniqueHandle file(::CreateFileW(Wide(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!file.valid() || !::GetFileInformationByHandle(file.get(), &information)) return false;
  identity[0] = information.dwVolumeSerialNumber;
  identity[1] = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
  return true;
}

}  // namespace

LockedFile::~LockedFile() {
  if (handle != nullptr) ::CloseHandle(static_cast<HANDLE>(handle));  // releases the lock
}

FileResult ReadWholeFile(const std::string& path, std::size_t max_size,
                         std::vector<unsigned char>& contents) {
  // A folder at the path is not a store. Opened as a file it would fail
  // with "access denied" and pass for a refusal of the system.
  if (IsFolder(path)) return {FileResult::kWrongSize, Quoted(path) + " is a folder"};
  UniqueHandle file(OpenForReading(path));
  if (!file.valid()) return FromOpenError(::GetLastError(), path);
  return ReadOpenFile(file.get(), path, max_size, contents);
}

// The access lists of Windows decide who may have planted a file handed
// to us; it is read as any other.
FileResult ReadHandedFile(const std::string& path, std::size_t max_size,
                          std::vector<unsigned char>& contents) {
  return ReadWholeFile(path, max_size, contents);
}

FileResult ReadFileHead(const std::string& path, std::size_t max_size, std::size_t count,
                        std::vector<unsigned char>& head, std::uint64_t& size) {
  if (IsFolder(path)) return {FileResult::kWrongSize, Quoted(path) + " is a folder"};
  UniqueHandle file(OpenForReading(path));
  if (!file.valid()) return FromOpenError(::GetLastError(), path);
  return ReadOpenFile(file.get(), path, max_size, head, count, &size);
}

FileResult ReadSecretFile(const std::string& path, std::size_t min_size, std::size_t max_size,
                          std::vector<unsigned char>& secret) {
  if (IsFolder(path)) return Distrust(path, "it is not a regular file");
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, which is then refused.
  UniqueHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ | READ_CONTROL,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) return FromOpenError(::GetLastError(), path);
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) return Distrust(path, "it is not a regular file");
  if (const char* reason = DistrustOfFile(file.get())) return Distrust(path, reason);
  std::vector<unsigned char> contents;
  FileResult result = ReadOpenFile(file.get(), path, max_size, contents);
  if (result == FileResult::kOk && contents.size() < min_size) {
    result = {FileResult::kWrongSize,
              Quoted(path) + " refused: it holds " + std::to_string(contents.size()) +
                  " bytes, not " + std::to_string(min_size) + " to " + std::to_string(max_size)};
  }
  // The vector was sized once by the read, so it is the only copy to wipe.
  if (result != FileResult::kOk) {
    sodium_memzero(contents.data(), contents.size());
    return result;
  }
  secret.swap(contents);
  return FileResult::kOk;
}

FileResult LockAndReadFile(const std::string& path, std::size_t max_size, LockedFile& lock,
                           std::vector<unsigned char>& contents) {
  // The store itself cannot carry the lock here: a file open in another
  // process cannot reliably be replaced by MoveFileExW. Writers lock a
  // companion file instead, which is never replaced.
  // The folder is made first so that even the first store in it is
  // created under the lock: a temporary seen under it is always dead.
  OwnerOnly owner_only;
  if (!owner_only.valid()) return {FileResult::kFailed, "no owner-only access list can be made"};
  if (!MakeOwnerOnlyFolders(ParentFolder(path))) {
    return {FileResult::kBadPath, "cannot make the folder " + Quoted(ParentFolder(path)) +
                                      ": system error " + std::to_string(::GetLastError())};
  }
  const std::string lock_path = InFolderOf(path, LockFileName(path));
  UniqueHandle lock_file(::CreateFileW(Wide(lock_path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       owner_only.get(), OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                       nullptr));
  if (!lock_file.valid()) return FromOpenError(::GetLastError(), lock_path);
  const FileResult waited = WaitForLock([&lock_file] { return TryLock(lock_file.get()); },
                                        lock.wait_seconds, lock_path);
  if (waited != FileResult::kOk) return waited;
  RemoveDeadTemporaries(path, true);
  const FileResult result = ReadWholeFile(path, max_size, contents);
  if (result == FileResult::kOk || result == FileResult::kNotFound) {
    if (lock.handle != nullptr) ::CloseHandle(static_cast<HANDLE>(lock.handle));
    lock.handle = lock_file.release();
    lock.path = path;
    lock.read = result == FileResult::kOk && IdentityOf(path, lock.identity);
  }
  return result;
}

// The access list stays owner-only: `mode` widens POSIX permissions alone.
FileResult CreateFileAtomically(const std::string& path, const unsigned char* data,
                                std::size_t size, bool make_folders, std::uint32_t mode) {
  static_cast<void>(mode);
  OwnerOnly owner_only;
  std::string temp;
  if (!owner_only.valid()) return {FileResult::kFailed, "no owner-only access list can be made"};
  if (make_folders && !MakeOwnerOnlyFolders(ParentFolder(path))) {
    return {FileResult::kFailed, "cannot make the folder " + Quoted(ParentFolder(path)) +
                                     ": system error " + std::to_string(::GetLastError())};
  }
  RemoveDeadTemporaries(path, false);
  const FileResult written = WriteTempFile(path, data, size, owner_only, false, temp);
  if (written != FileResult::kOk) return written;
  // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing target,
  // as link does on POSIX.
  if (!::MoveFileExW(Wide(temp).c_str(), Wide(path).c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    ::DeleteFileW(Wide(temp).c_str());
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return FileResult::kExists;
    return SystemFailure("naming", path, error);
  }
  return FileResult::kOk;
}

// A link at the path is replaced, not followed, either way; kKeepAccess
// gives the new file the old entry's access list, kOwnerOnly the owner-only
// one.
FileResult ReplaceFileAtomically(const std::string& path, const unsigned char* data,
                                 std::size_t size, Replacement how, std::uint32_t mode) {
  static_cast<void>(mode);
  OwnerOnly owner_only;
  std::string temp;
  if (!owner_only.valid()) return {FileResult::kFailed, "no owner-only access list can be made"};
  RemoveDeadTemporaries(path, false);
  const FileResult written =
      WriteTempFile(path, data, size, owner_only, how == Replacement::kKeepAccess, temp);
  if (written != FileResult::kOk) return written;
  if (!::MoveFileExW(Wide(temp).c_str(), Wide(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const FileResult failed = SystemFailure("replacing", path, ::GetLastError());
    ::DeleteFileW(Wide(temp).c_str());
    return failed;
  }
  return FileResult::kOk;
}

FileResult CreateLockedFile(LockedFile& lock, const unsigned char* data, std::size_t size) {
  if (lock.handle == nullptr) return {FileResult::kFailed, "no file is locked"};
  return CreateFileAtomically(lock.path, data, size, false, kOwnerOnlyFileMode);
}

FileResult ReplaceLockedFile(LockedFile& lock, const unsigned char* data, std::size_t size) {
  std::uint64_t now[2] = {0, 0};
  if (lock.handle == nullptr || !lock.read) return {FileResult::kFailed, "no file read is locked"};
  if (!IdentityOf(lock.path, now) || now[0] != lock.identity[0] || now[1] != lock.identity[1]) {
    return {FileResult::kChanged,
            Quoted(lock.path) + " was replaced by something else while it was locked"};
  }
  return ReplaceFileAtomically(lock.path, data, size, Replacement::kKeepAccess);
}

ExclusiveLock::~ExclusiveLock() {
  if (handle != nullptr) ::CloseHandle(static_cast<HANDLE>(handle));  // releases the lock
}

FileResult TakeExclusiveLock(const std::string& path, ExclusiveLock& lock) {
  OwnerOnly owner_only;
  if (!owner_only.valid()) return {FileResult::kFailed, "no owner-only access list can be made"};
  if (!MakeOwnerOnlyFolders(ParentFolder(path))) return FileResult::kBadPath;
  UniqueHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  owner_only.get(), OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) return FromOpenError(::GetLastError(), path);
  const FileResult locked = TryLock(file.get());
  if (locked != FileResult::kOk) return locked;
  if (lock.handle != nullptr) ::CloseHandle(static_cast<HANDLE>(lock.handle));
  lock.handle = file.release();
  return FileResult::kOk;
}

std::vector<std::string> ListFilesNamed(const std::string& path, const std::string& suffix) {
  const std::size_t slash = path.find_last_of("\\/");
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + suffix;
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileW(Wide(InFolderOf(path, prefix + "*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = NarrowToUtf8(found.cFileName);
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        name.size() > prefix.size()) {
      names.push_back(name);
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

// Opens, or makes owner-only, the plain file at `path` with one name for
// writing with `access`; a link, a folder or a second name is refused.
FileResult OpenPlainFileToWrite(const std::string& path, DWORD access, DWORD share,
                                UniqueHandle& file) {
  OwnerOnly owner_only;
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, which is then refused.
  file.reset(::CreateFileW(Wide(path).c_str(), access, share,
                           owner_only.valid() ? owner_only.get() : nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) return FromOpenError(::GetLastError(), path);
  BY_HANDLE_FILE_INFORMATION information;
  constexpr DWORD kNotPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
  if (!::GetFileInformationByHandle(file.get(), &information) ||
      (information.dwFileAttributes & kNotPlain) != 0 || information.nNumberOfLinks != 1) {
    return {FileResult::kUntrusted, Quoted(path) + " refused: not a plain file with one name"};
  }
  return FileResult::kOk;
}

}  // namespace

FileResult RewriteSmallFile(const std::string& path, const unsigned char* data,
                            std::size_t size) {
  UniqueHandle file;
  const FileResult opened = OpenPlainFileToWrite(path, GENERIC_WRITE, 0, file);
  if (opened != FileResult::kOk) return opened;
  DWORD written = 0;
  if (!::WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) ||
      written != size || !::SetEndOfFile(file.get())) {
    return SystemFailure("writing", path, ::GetLastError());
  }
  return FileResult::kOk;
}

FileResult ReadFileTail(const std::string& path, std::size_t count,
                        std::vector<unsigned char>& tail) {
  UniqueHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) return FromOpenError(::GetLastError(), path);
  BY_HANDLE_FILE_INFORMATION information;
  if (!::GetFileInformationByHandle(file.get(), &information) ||
      (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return {FileResult::kWrongSize, Quoted(path) + " is not a regular file"};
  }
  const std::uint64_t size =
      (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  const std::uint64_t from = size > count ? size - count : 0;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(from);
  if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) {
    return SystemFailure("reading", path, ::GetLastError());
  }
  std::vector<unsigned char> read(static_cast<std::size_t>(size - from));
  std::size_t done = 0;
  while (done < read.size()) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), read.data() + done, static_cast<DWORD>(read.size() - done), &got,
                    nullptr)) {
      return SystemFailure("reading", path, ::GetLastError());
    }
    if (got == 0) break;  // cut short since: what is there
    done += got;
  }
  read.resize(done);
  tail = std::move(read);
  return FileResult::kOk;
}

FileResult AppendToFile(const std::string& path, const unsigned char* data, std::size_t size) {
  // FILE_APPEND_DATA alone: every write goes to the end, as O_APPEND does.
  UniqueHandle file;
  const FileResult opened =
      OpenPlainFileToWrite(path, FILE_APPEND_DATA | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, file);
  if (opened != FileResult::kOk) return opened;
  DWORD written = 0;
  if (!::WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) ||
      written != size) {
    return SystemFailure("writing", path, ::GetLastError());
  }
  return FileResult::kOk;
}

FileResult RemoveFile(const std::string& path) {
  if (::DeleteFileW(Wide(path).c_str())) return FileResult::kOk;
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_NOT_FOUND ? FileResult::kNotFound : FileResult::kFailed;
}

bool IsAccessDenied(const std::string& path) {
  if (::GetFileAttributesW(Wide(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
    return ::GetLastError() == ERROR_ACCESS_DENIED;
  }
  const UniqueHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
  return !file.valid() && ::GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace platform
