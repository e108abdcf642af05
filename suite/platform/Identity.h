// Who runs this process, as an audit line names it: the host's name, the
// user's id and name, the process id. IdentityPosix.cpp and
// IdentityWindows.cpp hold the two sides.
#ifndef SUITE_PLATFORM_IDENTITY_H_
#define SUITE_PLATFORM_IDENTITY_H_

#include <cstdint>
#include <string>

namespace platform {

struct ProcessIdentity {
  std::string host;  // empty when the system names none
  std::string uid;   // the effective user id (on Windows the user's SID)
  std::string user;  // the user's name; empty when the system names none
  std::uint32_t pid = 0;
};

[[nodiscard]] ProcessIdentity GetProcessIdentity();

}  // namespace platform

#endif  // SUITE_PLATFORM_IDENTITY_H_
