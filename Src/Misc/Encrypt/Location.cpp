// Where each type's encrypted store lives, by the rules shared with the
// other store commands.
#include <string>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "Src/Misc/Encrypt/StoreLocation.h"
#include "Src/Misc/Encrypt/Trace.h"

int ENCRYPT::GetEncryptedFilePath(std::string key, std::string& path) {
  TRACE_ENTERING("ENCRYPT::GetEncryptedFilePath");
  const int code = LocateStore(key, path);
  if (!path.empty()) {
    TRACE_EXITING("ENCRYPT::GetEncryptedFilePath");
  }
  return code;
}
