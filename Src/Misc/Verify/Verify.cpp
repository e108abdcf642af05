#include "Src/Misc/Verify/Verify.h"

#include <sstream>

#include "Src/Misc/Common/JsonWriter.h"
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
  std::string text;
  JsonWriter json(&text, JsonWriter::Spacing::kSpaced);
  json.BeginObject();
  json.Key("path");
  json.Text(path);
  json.Key("mode");
  json.String(info.mode == kAttendedMode ? "attended" : "unattended");
  json.Key("records");
  json.Number(info.record_count);
  if (info.mode == kAttendedMode) {
    json.Key("kdf");
    json.BeginObject();
    json.Key("algorithm");
    json.String("Argon2id");
    json.Key("opslimit");
    json.Number(info.opslimit);
    json.Key("memlimit");
    json.Number(info.memlimit);
    json.End();
  }
  json.End();
  json.EndLine();
  return text;
}
