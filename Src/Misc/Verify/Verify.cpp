#include "Src/Misc/Verify/Verify.h"

#include <iostream>
#include <sstream>

#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

uint32_t VERIFY::RunOnStore(EnDecrypt& store) {
  EnDecrypt::StoreInfo info;
  const uint32_t code = FromStoreStatus(store.Inspect(path, passphrase, info));
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Verify the file " << path << " fail.";
    return code;
  }
  std::ostringstream line;
  line << path << ": sound, " << (info.mode == kAttendedMode ? "attended" : "unattended") << ", "
       << info.record_count << (info.record_count == 1 ? " record" : " records");
  if (info.mode == kAttendedMode) {
    line << ", Argon2id opslimit " << info.opslimit << ", memlimit " << info.memlimit;
  }
  KLOG(kLevelConsole) << line.str();
  std::cout << line.str() << '\n' << std::flush;
  return std::cout ? ERR_SUCCEED : ERR_WRITE_FILE;
}
