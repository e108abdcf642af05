// StoreFiles.h on Windows.
#if defined(_WIN32)
#include <windows.h>
// aclapi.h and sddl.h need the declarations of windows.h.
#include <aclapi.h>
#include <sddl.h>
#include <sodium.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/Log.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreFiles.h"
#include "suite/endecrypt/StoreNames.h"
#include "suite/utf8/Utf8Path.h"

namespace endecrypt {
namespace {

constexpr char kHostKeyFolder[] = "kelvox";
constexpr char kHostKeyFileName[] = "host.key";
constexpr DWORD kMaxChunk = 1u << 30;

// Paths are UTF-8 inside the suite, as the configuration file holds them;
// they become UTF-16 only at the system call.
std::wstring Wide(const std::string& path) { return utf8::WidenUtf8(path); }

std::string InFolderOf(const std::string& path, const std::string& name) {
  return ParentFolder(path) + "\\" + name;
}

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

// The running user's SID as TokenUser returns it; empty when unknown.
std::vector<unsigned char> CurrentUser() {
  std::vector<unsigned char> buffer;
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return buffer;
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  buffer.resize(size);
  if (!::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) buffer.clear();
  ::CloseHandle(token);
  return buffer;
}

PSID SidOf(std::vector<unsigned char>& token_user) {
  return token_user.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(token_user.data())->User.Sid;
}

// Owner-only on Windows: a protected access list that grants full control
// to the file's owner and to the system account and inherits nothing.
// The access list names the current user's SID: Wine does not resolve the
// OWNER RIGHTS alias ("OW"), so files written with it cannot be removed there.
std::wstring OwnerOnlySddl() {
  std::wstring sid = L"OW";
  std::vector<unsigned char> user = CurrentUser();
  wchar_t* text = nullptr;
  if (SidOf(user) != nullptr && ::ConvertSidToStringSidW(SidOf(user), &text)) {
    sid = text;
    ::LocalFree(text);
  }
  return L"D:P(A;OICI;FA;;;" + sid + L")(A;OICI;FA;;;SY)";
}

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

FileResult FromOpenError(DWORD error, const std::string& path) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return FileResult::kNotFound;
    case ERROR_FILENAME_EXCED_RANGE:
      KLOG(1) << "path too long for the system (" << path.size() << " bytes): '" << path << "'";
      return FileResult::kBadPath;
    default: return FileResult::kFailed;
  }
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

FileResult ReadOpenFile(HANDLE file, std::size_t max_size, std::vector<unsigned char>& contents) {
  LARGE_INTEGER size;
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size)) {
    return FileResult::kWrongSize;
  }
  if (static_cast<std::uint64_t>(size.QuadPart) > max_size) {
    KLOG(1) << "file of " << size.QuadPart << " bytes exceeds the limit of " << max_size
            << " bytes";
    return FileResult::kWrongSize;
  }
  std::vector<unsigned char> read(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  while (done < read.size()) {
    const std::size_t left = read.size() - done;
    DWORD got = 0;
    if (!::ReadFile(file, read.data() + done,
                    left > kMaxChunk ? kMaxChunk : static_cast<DWORD>(left), &got, nullptr) ||
        got == 0) {
      return FileResult::kFailed;
    }
    done += got;
  }
  contents = std::move(read);
  return FileResult::kOk;
}

bool WriteTempFile(const std::string& path, const unsigned char* data, std::size_t size,
                   OwnerOnly& owner_only, std::string& temp) {
  unsigned char random[kTempRandomSize / 2];
  randombytes_buf(random, sizeof(random));
  char hex[kTempRandomSize + 1];
  sodium_bin2hex(hex, sizeof(hex), random, sizeof(random));
  std::string name = InFolderOf(path, TempNamePrefix(path) + hex);
  UniqueHandle file(::CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, owner_only.get(),
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  const bool written = WriteAll(file.get(), data, size) && ::FlushFileBuffers(file.get());
  const bool closed = ::CloseHandle(file.release()) != 0;
  if (!written || !closed) {
    KLOG(1) << "writing '" << path << "' failed: system error " << ::GetLastError();
    ::DeleteFileW(Wide(name).c_str());
    return false;
  }
  temp = std::move(name);
  return true;
}

// Removes the temporaries of the store at `path`, whose lock the caller
// holds: temporaries are only made under that lock, so any found now
// belongs to a writer that died.
void RemoveDeadTemporaries(const std::string& path) {
  const std::string prefix = TempNamePrefix(path);
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileW(Wide(InFolderOf(path, prefix + "*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> dead;
  do {
    const std::wstring name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        name.size() == prefix.size() + kTempRandomSize) {
      dead.push_back(Wide(InFolderOf(path, "")) + name);
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  for (const std::wstring& name : dead) ::DeleteFileW(name.c_str());
}

FileResult Distrust(const std::string& path, const char* reason) {
  KLOG(1) << "host key '" << path << "' refused: " << reason;
  return FileResult::kUntrusted;
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
  if (!file.valid()) return FromOpenError(::GetLastError(), path);
  return ReadOpenFile(file.get(), max_size, contents);
}

FileResult ReadSecretFile(const std::string& path, std::size_t min_size, std::size_t max_size,
                          SecureBuffer& secret) {
  if (IsFolder(path)) return Distrust(path, "it is not a regular file");
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, which is then refused.
  UniqueHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ | READ_CONTROL,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) return FromOpenError(::GetLastError(), path);
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) return Distrust(path, "it is not a regular file");
  if (const char* reason = DistrustOfFile(file.get())) return Distrust(path, reason);
  std::vector<unsigned char> contents;
  FileResult result = ReadOpenFile(file.get(), max_size, contents);
  if (result == FileResult::kOk && contents.size() < min_size) {
    KLOG(1) << "host key '" << path << "' refused: it holds " << contents.size()
            << " bytes, not " << min_size << " to " << max_size;
    result = FileResult::kWrongSize;
  }
  // The vector was sized once by the read, so it is the only copy to wipe.
  if (result != FileResult::kOk) {
    sodium_memzero(contents.data(), contents.size());
    return result;
  }
  return secret.TakeWiping(contents) ? FileResult::kOk : FileResult::kFailed;
}

FileResult LockAndReadStore(const std::string& path, std::size_t max_size, StoreLock& lock,
                            std::vector<unsigned char>& contents) {
  // The store itself cannot carry the lock here: a file open in another
  // process cannot reliably be replaced by MoveFileExW. Writers lock a
  // companion file instead, which is never replaced.
  // The folder is made first so that even the first store in it is
  // created under the lock: a temporary seen under it is always dead.
  OwnerOnly owner_only;
  if (!owner_only.valid()) return FileResult::kFailed;
  if (!MakeFolders(ParentFolder(path), owner_only)) {
    KLOG(1) << "cannot make the folder '" << ParentFolder(path) << "': system error "
            << ::GetLastError();
    return FileResult::kBadPath;
  }
  const std::string lock_path = InFolderOf(path, LockFileName(path));
  UniqueHandle lock_file(::CreateFileW(Wide(lock_path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       owner_only.get(), OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                       nullptr));
  if (!lock_file.valid()) return FromOpenError(::GetLastError(), lock_path);
  OVERLAPPED whole_file = {};
  if (!::LockFileEx(lock_file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole_file)) {
    return FileResult::kFailed;
  }
  RemoveDeadTemporaries(path);
  const FileResult result = ReadWholeFile(path, max_size, contents);
  if (result == FileResult::kOk || result == FileResult::kNotFound) {
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
  const std::string folder = utf8::GetEnvironment("LOCALAPPDATA");
  if (folder.empty()) return {};
  return folder + "\\" + kHostKeyFolder + "\\" + kHostKeyFileName;
}

// Windows has no file-size signal: a write past a quota fails by itself.
void IgnoreFileSizeSignal() {}

}  // namespace endecrypt

#endif  // _WIN32
