// The ENCRYPT object and its procedure: read the input file, then for every
// type found work out its store, run the pre-check and write the records.
#include "Src/Misc/Encrypt/Encrypt.h"

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/StoreStatus.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "suite/platform/Process.h"

ENCRYPT::ENCRYPT() {
  TRACE_ENTERING("ENCRYPT::ENCRYPT");
  file_readers[SensitiveSetting] = &ENCRYPT::ReadSensitiveSettingFile;
  file_readers[Credential] = &ENCRYPT::ReadCredentialFile;
  TRACE_EXITING("ENCRYPT::ENCRYPT");
}

ENCRYPT::~ENCRYPT() {
  for (auto& [type, records] : file_records) WipeValues(records);
}

CommandResult ENCRYPT::SetParameters(const HostContext& host_context) {
  // Kept first and unconditionally: the object holds the copy even when the
  // check below fails.
  context = host_context;
  CommandResult result;
  if (context.options.count("configfile") != 0) {
    result.code = ERR_SUCCEED;
    return result;
  }
  CONSOLE_MESSAGE(kLevelError) << "You must specify configure file by --configfile";
  result.code = ERR_INVALID_PARAMETER;
  return result;
}

CommandResult ENCRYPT::Run() {
  // From here on the process holds secrets.
  platform::DisableCoreDumps();
  CommandResult result;
  return MakeCommandResult(result, EncryptProc());
}

CommandResult ENCRYPT::Finish() { return CommandResult{}; }

uint32_t ENCRYPT::EncryptProc() {
  TRACE_ENTERING("ENCRYPT::EncryptProc");
  const uint32_t code = ReadFileIntoMemory();
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Read customer file error: " << code << ".";
    return code;
  }
  const uint32_t written = Writer().WriteAllTypes();
  if (written != ERR_SUCCEED) return written;
  TRACE_EXITING("ENCRYPT::EncryptProc");
  return ERR_SUCCEED;
}

// The steps below are those of the record writer, which import follows
// too; each is kept here under its own name.
RecordWriter ENCRYPT::Writer() {
  return RecordWriter("ENCRYPT", context, file_records, RecordWriter::Prompts::kEncrypts, env);
}

uint32_t ENCRYPT::RunEncrypt(FileType type, const std::string& path, const std::string& passphrase) {
  return Writer().Write(type, path, passphrase);
}

uint32_t ENCRYPT::GetEncryptedFilePath(std::string key, std::string& path) {
  return Writer().LocateTypeStore(key, path);
}

EnDecrypt* ENCRYPT::GetStoreInstance() { return RecordWriter::GetStoreInstance(); }

CommandResult ENCRYPT::MapEncryptionResult(int value) {
  CommandResult result;
  return MakeCommandResult(result, MapStoreStatus(value));
}
