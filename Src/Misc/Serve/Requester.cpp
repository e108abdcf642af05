#include "Src/Misc/Serve/Requester.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace {

constexpr char kUnitPart[] = "/unit/";
// The longest unit name and credential id the service manager accepts.
constexpr std::size_t kMaxNameSize = 255;

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// A unit name as the manager makes them: letters, digits and ":-_.\@",
// a name, a dot and a type.
bool IsUnitName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return !name.empty() && name.size() <= kMaxNameSize && dot != std::string::npos && dot > 0 &&
         dot + 1 < name.size() && name.find("..") == std::string::npos &&
         std::all_of(name.begin(), name.end(), [](char c) {
           return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
                  std::string(":-_.\\@").find(c) != std::string::npos;
         });
}

// A credential id as the manager takes them: a file name, printable,
// neither "." nor "..".
bool IsCredentialId(const std::string& id) {
  return !id.empty() && id.size() <= kMaxNameSize && id != "." && id != ".." &&
         std::all_of(id.begin(), id.end(), [](char c) {
           return c != '/' && std::isprint(static_cast<unsigned char>(c)) != 0;
         });
}

}  // namespace

bool ReadRequester(const std::string& address, Requester& requester, std::string& reason) {
  if (address.empty() || address.front() != '\0') {
    reason = "the peer is not bound to an abstract address";
    return false;
  }
  const std::size_t unit_part = address.find(kUnitPart, 1);
  if (unit_part == std::string::npos || unit_part == 1 ||
      !std::all_of(address.begin() + 1, address.begin() + static_cast<long>(unit_part), IsHexDigit)) {
    reason = "the peer's address is not \\0<hex>/unit/<unit>/<id>";
    return false;
  }
  const std::string rest = address.substr(unit_part + sizeof(kUnitPart) - 1);
  const std::size_t slash = rest.find('/');
  Requester read{rest.substr(0, slash), slash == std::string::npos ? "" : rest.substr(slash + 1)};
  if (!IsUnitName(read.unit)) {
    reason = "the peer's address names no valid unit";
    return false;
  }
  if (!IsCredentialId(read.id)) {
    reason = "the peer's address names no valid credential id";
    return false;
  }
  requester = std::move(read);
  return true;
}
