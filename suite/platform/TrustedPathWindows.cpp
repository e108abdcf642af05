// TrustedPath.h on Windows: who may change a folder is the access list's
// to say, and the suite makes its folders and files owner-only by one
// (OwnerOnlyWindows.cpp); what the rule adds here is the refusal of a link
// (a reparse point) at the last entry.
#include <windows.h>

#include <string>

#include "suite/platform/TrustedPath.h"
#include "suite/platform/Utf8PathWindows.h"

namespace platform {

FileResult CheckTrustedPath(const std::string& path, LastLink last_link, std::string* resolved) {
  if (resolved != nullptr) *resolved = path;
  if (last_link == LastLink::kFollowed) return FileResult::kOk;
  const DWORD attributes = ::GetFileAttributesW(WidenUtf8(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return {FileResult::kUntrusted, "'" + path + "' refused: it is a symbolic link"};
  }
  return FileResult::kOk;
}

}  // namespace platform
