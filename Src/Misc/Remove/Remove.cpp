#include "Src/Misc/Remove/Remove.h"

#include <algorithm>
#include <string>
#include <vector>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

uint32_t REMOVE::CheckOptions() {
  // The empty key is a valid record key, so only a missing option is refused.
  if (!HasOption("key")) return RefuseOption("You must name the record to remove by --key");
  return ERR_SUCCEED;
}

uint32_t REMOVE::RunOnStore(EnDecrypt& store) {
  const std::string key = GetOption("key");
  // Read first, to show what will change before asking; the removal itself
  // checks again under the writers' lock. Keys only: no value is needed.
  std::vector<std::string> keys;
  uint32_t code = FromStoreStatus(store.ListKeys(path, passphrase, keys));
  const bool stored = std::binary_search(keys.begin(), keys.end(), key);
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Parse the file " << path << " fail.";
    return code;
  }
  if (!stored) {
    KLOG(kLevelError) << "No record '" << key << "' in " << path << ".";
    return RefuseOption("The record to remove is not in the store: " + key);
  }
  CONSOLE_MESSAGE(kLevelConsole) << "remove: 1";
  if (!HasOption("quiet") && !AskToUpdate(path)) {
    return FromStoreStatus(endecrypt_status::kInterrupted);
  }
  const int status = store.Remove(path, std::vector<std::string>{key}, passphrase);
  if (status == endecrypt_status::kRecordAbsent) {
    // Another writer removed it between the read and the lock.
    return RefuseOption("The record to remove is not in the store: " + key);
  }
  code = FromStoreStatus(status);
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Remove from file " << path << " error: " << status << ".";
    return code;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Succeed in removing the record from file: " << path << ".";
  return ERR_SUCCEED;
}
