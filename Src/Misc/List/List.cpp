#include "Src/Misc/List/List.h"

#include <iostream>
#include <string>
#include <vector>

#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

uint32_t LIST::RunOnStore(EnDecrypt& store) {
  // Keys only: no value is copied out of the store library.
  std::vector<std::string> keys;
  const uint32_t code =
      FromStoreStatus(store.ListKeys(path, passphrase, keys));
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Parse the file " << path << " fail.";
    return code;
  }
  std::string lines;
  for (const std::string& key : keys) lines.append(key).push_back('\n');
  std::cout << lines << std::flush;
  return std::cout ? ERR_SUCCEED : ERR_WRITE_FILE;
}
