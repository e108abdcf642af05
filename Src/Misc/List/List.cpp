#include "Src/Misc/List/List.h"

#include <iostream>

#include "Src/Misc/Encrypt/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

uint32_t LIST::RunOnStore() {
  RecordMap records;
  const uint32_t code =
      FromStoreStatus(EnDecrypt::GetInstance()->Decrypt(path, records, passphrase));
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Parse the file " << path << " fail.";
    return code;
  }
  std::string keys;
  for (const auto& [key, value] : records) keys.append(key).push_back('\n');
  WipeRecords(records);
  std::cout << keys << std::flush;
  return std::cout ? ERR_SUCCEED : ERR_WRITE_FILE;
}
