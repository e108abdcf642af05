// The Windows side of owner-only files, shared by the platform's Windows
// sources only: the running user's SID and the security attributes of a
// protected access list that grants full control to the owner and to the
// system account and inherits nothing.
#ifndef SUITE_PLATFORM_OWNERONLYWINDOWS_H_
#define SUITE_PLATFORM_OWNERONLYWINDOWS_H_

#include <windows.h>

#include <vector>

namespace platform {

// The running user's SID as TokenUser returns it; empty when unknown.
std::vector<unsigned char> CurrentUser();

// The SID inside `token_user`, or null when it is empty.
PSID SidOf(std::vector<unsigned char>& token_user);

// Security attributes carrying the owner-only access list, for files and
// folders we create.
class OwnerOnly {
 public:
  OwnerOnly();
  OwnerOnly(const OwnerOnly&) = delete;
  OwnerOnly& operator=(const OwnerOnly&) = delete;
  ~OwnerOnly();
  bool valid() const { return attributes.lpSecurityDescriptor != nullptr; }
  SECURITY_ATTRIBUTES* get() { return &attributes; }

 private:
  SECURITY_ATTRIBUTES attributes;
};

}  // namespace platform

#endif  // SUITE_PLATFORM_OWNERONLYWINDOWS_H_
