#include <pwd.h>
#include <unistd.h>

#include <vector>

#include "suite/platform/Identity.h"

namespace platform {
namespace {
constexpr std::size_t kUserEntryBufferSize = 16384;
constexpr std::size_t kHostNameSize = 256;
}  // namespace

ProcessIdentity GetProcessIdentity() {
  ProcessIdentity identity;
  std::vector<char> name(kHostNameSize + 1, '\0');
  if (::gethostname(name.data(), kHostNameSize) == 0) identity.host = name.data();
  const uid_t uid = ::geteuid();
  identity.uid = std::to_string(uid);
  struct passwd entry;
  struct passwd* found = nullptr;
  std::vector<char> buffer(kUserEntryBufferSize);
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr) {
    identity.user = found->pw_name;
  }
  identity.pid = static_cast<std::uint32_t>(::getpid());
  return identity;
}

}  // namespace platform
