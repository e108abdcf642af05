#include "Src/Misc/Verify/Verify.h"

#include <sstream>

#include "Src/Misc/Common/JsonWriter.h"
#include "Src/Misc/Common/OutputFile.h"
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
  if (!HasOption("json")) line << '\n';
  const std::string text = HasOption("json") ? FormatJson(info) : line.str();
  result_written = true;
  return OutputFile().Write(text.data(), text.size());
}

uint32_t VERIFY::RunCommand() {
  const uint32_t code = StoreCommand::RunCommand();
  if (code == ERR_SUCCEED || result_written || !HasOption("json")) return code;
  // A monitor reads one object whatever happened; the cause is also on
  // standard error, as without --json.
  const std::string text = FormatFailureJson(code);
  static_cast<void>(OutputFile().Write(text.data(), text.size()));  // the run failed already
  return code;
}

std::string VERIFY::FormatFailureJson(uint32_t code) const {
  std::string text;
  JsonWriter json(&text, JsonWriter::Spacing::kSpaced);
  json.BeginObject();
  json.Key("path");
  json.Text(path);
  json.Key("sound");
  json.Bool(false);
  json.Key("code");
  json.Number(code);
  json.Key("fault");
  json.Text(GetErrorMessage(static_cast<int32_t>(code)));
  json.End();
  json.EndLine();
  return text;
}

std::string VERIFY::FormatJson(const EnDecrypt::StoreInfo& info) const {
  std::string text;
  JsonWriter json(&text, JsonWriter::Spacing::kSpaced);
  json.BeginObject();
  json.Key("path");
  json.Text(path);
  json.Key("sound");
  json.Bool(true);
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
