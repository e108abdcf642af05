// The ENCRYPT object and its procedure: read the input file, then for every
// type found work out its store, run the pre-check and write the records.
#include "Src/Misc/Encrypt/Encrypt.h"

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/RecordWriter.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/StoreStatus.h"
#include "Src/Misc/Common/Trace.h"
#include "Src/Misc/Encrypt/EncryptVisit.h"
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
  // No visit outlives the run, whichever way it leaves.
  const ScopedEncryptVisit run_visit;
  // Presence alone selects unattended mode; the option's value is not read.
  const int mode = context.options.count("unattended") != 0 ? kUnattendedMode : kAttendedMode;
  uint32_t code = ReadFileIntoMemory();
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Read customer file error: " << code << ".";
    return code;
  }
  // One passphrase for the whole run: only the pre-check writes it, anew
  // for every type in attended mode; unattended runs keep it empty.
  std::string passphrase;
  const ScopedWipe passphrase_wipe(passphrase);
  std::string path;
  for (const auto& entry : file_records) {
    const FileType type = entry.first;
    path.clear();
    const std::string key = EncryptedPathKeys[type];
    const uint32_t located = GetEncryptedFilePath(key, path);
    if (located != ERR_SUCCEED) {
      KLOG_NOTE(kLevelError) << "Get value: " << key << " error: " << located << ".";
      return ERR_READ_FILE;
    }
    // What the pre-check finds of this type's store serves its write alone.
    const ScopedEncryptVisit type_visit;
    code = EncryptPreCheck(mode, path, passphrase, type);
    if (code != ERR_SUCCEED) return code;
    code = RunEncrypt(type, path, passphrase);
    if (code != ERR_SUCCEED) {
      KLOG(kLevelError) << "Encrypt file error.";
      return code;
    }
    ShowTypeWritten(path);
  }
  TRACE_EXITING("ENCRYPT::EncryptProc");
  return ERR_SUCCEED;
}

uint32_t ENCRYPT::RunEncrypt(FileType type, const std::string& path, const std::string& passphrase) {
  TRACE_ENTERING("ENCRYPT::RunEncrypt");
  // The process's store; a failure to start it is logged there.
  EnDecrypt* store = GetStoreInstance(CommandEnv{});
  if (store == nullptr) return ERR_INTERNAL;
  EncryptVisit* visit = CurrentEncryptVisit();
  return WriteTypeRecords(*store, "encrypt", file_records[type], path, passphrase,
                          visit != nullptr ? &visit->read : nullptr, &MapEncryptionCode);
}

uint32_t ENCRYPT::GetEncryptedFilePath(std::string key, std::string& path) {
  TRACE_ENTERING("ENCRYPT::GetEncryptedFilePath");
  const uint32_t code = LocateStore(key, path);
  // A lookup that gave no path leaves without the exiting line.
  if (!path.empty()) {
    TRACE_EXITING("ENCRYPT::GetEncryptedFilePath");
  }
  return code;
}

CommandResult ENCRYPT::MapEncryptionResult(const StoreStatus& value) {
  CommandResult result;
  return MakeCommandResult(result, MapStoreStatus(value));
}
