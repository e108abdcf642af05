#include "Src/Misc/Remove/Remove.h"

#include <algorithm>
#include <string>
#include <vector>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/KeyText.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "Src/Misc/Common/PlainText.h"
#include "Src/Misc/Common/StoreLocation.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

uint32_t REMOVE::CheckOptions() {
  if (HasOption("target") && type == SensitiveSetting) {
    return RefuseOption("--target names a credential target of a credentials store");
  }
  return ERR_SUCCEED;
}

uint32_t REMOVE::NotStored(const std::string& key) const {
  KLOG(kLevelError) << "No record '" << ShownText(key) << "' in " << path << ".";
  CONSOLE_MESSAGE(kLevelError) << "The key " << ShownText(key) << " is not stored in " << path
                               << ".";
  return FromStoreStatus(endecrypt_status::kRecordAbsent);
}

uint32_t REMOVE::PickKeys(const std::vector<std::string>& stored,
                          std::vector<std::string>& keys) const {
  const auto is_stored = [&stored](const std::string& key) {
    return std::binary_search(stored.begin(), stored.end(), key);
  };
  const bool credentials = IsCredentialStore(stored);
  std::string target = GetOption("target");
  if (HasOption("key")) {
    const std::string key = GetOption("key");
    if (!is_stored(key)) return NotStored(key);
    // A credentials store never holds half a pair.
    if (credentials && SplitCredentialKey(key, target)) {
      return RefuseOption("Removing " + key + " alone would leave half a credential pair; "
                          "remove both with --target " + target);
    }
    keys.push_back(key);
    return ERR_SUCCEED;
  }
  if (!credentials) {
    return RefuseOption("--target is for a credentials store; " + path + " holds settings");
  }
  for (const std::string& key : {CredentialUserKey(target), CredentialPasswordKey(target)}) {
    if (!is_stored(key)) return NotStored(key);
    keys.push_back(key);
  }
  return ERR_SUCCEED;
}

uint32_t REMOVE::RunOnStore(EnDecrypt& store) {
  // Read first, to show what will change before asking; the removal itself
  // checks again under the writers' lock. Keys only: no value is needed.
  std::vector<std::string> stored;
  uint32_t code = FromReadStatus(store.ListKeys(path, passphrase, stored));
  if (code != ERR_SUCCEED) return code;
  std::vector<std::string> keys;
  code = PickKeys(stored, keys);
  if (code != ERR_SUCCEED) return code;
  CONSOLE_MESSAGE(kLevelConsole) << "remove: " << keys.size();
  if (!HasOption("quiet") && !AskToChangeStore(env.GetKeys(), path)) {
    return ERR_INTERRUPTED;
  }
  const StoreStatus status = store.Remove(path, keys, passphrase);
  if (status.IsRecordAbsent()) {
    // Another writer removed it between the read and the lock.
    return NotStored(keys.front());
  }
  code = FromStoreStatus(status);
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Remove from file " << path << " error: " << status << ".";
    return code;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Succeed in removing the record" << (keys.size() > 1 ? "s" : "")
                                 << " from file: " << path << ".";
  return ERR_SUCCEED;
}
