// OwnerOnly.h on Windows.
#include <windows.h>
// sddl.h needs the declarations of windows.h.
#include <sddl.h>

#include <string>

#include "suite/platform/DescriptorWindows.h"
#include "suite/platform/FileNames.h"
#include "suite/platform/OwnerOnly.h"
#include "suite/platform/OwnerOnlyWindows.h"
#include "suite/platform/Utf8PathWindows.h"

namespace platform {
namespace {

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

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WidenUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::vector<unsigned char> CurrentUser() {
  std::vector<unsigned char> buffer;
  HANDLE opened = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened)) return buffer;
  const UniqueHandle token(opened);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  buffer.resize(size);
  if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) buffer.clear();
  return buffer;
}

PSID SidOf(std::vector<unsigned char>& token_user) {
  return token_user.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(token_user.data())->User.Sid;
}

OwnerOnly::OwnerOnly() {
  attributes.nLength = sizeof(attributes);
  attributes.bInheritHandle = FALSE;
  attributes.lpSecurityDescriptor = nullptr;
  ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      OwnerOnlySddl().c_str(), SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr);
}

OwnerOnly::~OwnerOnly() { ::LocalFree(attributes.lpSecurityDescriptor); }

bool MakeOwnerOnlyFolders(const std::string& folder) {
  if (IsFolder(folder)) return true;
  const std::string parent = ParentFolder(folder);
  if (parent != folder && !MakeOwnerOnlyFolders(parent)) return false;
  OwnerOnly owner_only;
  return ::CreateDirectoryW(WidenUtf8(folder).c_str(),
                            owner_only.valid() ? owner_only.get() : nullptr) ||
         (::GetLastError() == ERROR_ALREADY_EXISTS && IsFolder(folder));
}

bool CreateOwnerOnlyFile(const std::string& path) {
  OwnerOnly owner_only;
  if (!owner_only.valid()) return false;
  const UniqueHandle file(::CreateFileW(WidenUtf8(path).c_str(), GENERIC_WRITE, 0,
                                        owner_only.get(), CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));
  return file.valid();
}

}  // namespace platform
