#include "Src/Misc/Verify/Verify.h"

#include <sstream>

#include "Src/Misc/Common/KeyText.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "suite/platform/StandardStreams.h"

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
  if (!HasOption("json")) line << '\n';
  return platform::WriteStandardOutput(HasOption("json") ? FormatJson(info) : line.str()) ? ERR_SUCCEED
                                                                                : ERR_WRITE_FILE;
}

std::string VERIFY::FormatJson(const EnDecrypt::StoreInfo& info) const {
  std::string text = "{\"path\": ";
  AppendJsonValue(path, text);
  text += std::string(", \"mode\": \"") + (info.mode == kAttendedMode ? "attended" : "unattended") +
          "\", \"records\": " + std::to_string(info.record_count);
  if (info.mode == kAttendedMode) {
    text += ", \"kdf\": {\"algorithm\": \"Argon2id\", \"opslimit\": " +
            std::to_string(info.opslimit) + ", \"memlimit\": " + std::to_string(info.memlimit) +
            "}";
  }
  return text + "}\n";
}
