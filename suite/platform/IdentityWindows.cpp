#include <windows.h>
#include <sddl.h>

#include <vector>

#include "suite/platform/DescriptorWindows.h"
#include "suite/platform/Identity.h"
#include "suite/platform/Utf8PathWindows.h"

namespace platform {

ProcessIdentity GetProcessIdentity() {
  ProcessIdentity identity;
  wchar_t host[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD host_size = MAX_COMPUTERNAME_LENGTH + 1;
  if (::GetComputerNameW(host, &host_size)) identity.host = NarrowToUtf8(host);
  wchar_t user[256] = {};
  DWORD user_size = 256;
  if (::GetUserNameW(user, &user_size)) identity.user = NarrowToUtf8(user);
  HANDLE token = nullptr;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    const UniqueHandle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    LPWSTR text = nullptr;
    if (size != 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
      identity.uid = NarrowToUtf8(text);
      ::LocalFree(text);
    }
  }
  identity.pid = static_cast<std::uint32_t>(::GetCurrentProcessId());
  return identity;
}

}  // namespace platform
