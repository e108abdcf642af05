// The ENCRYPT object and its procedure: read the input file, then for every
// type found work out its store, run the pre-check and write the records.
#include "Src/Misc/Encrypt/Encrypt.h"

#include "Src/Misc/Encrypt/ConsoleMessage.h"
#include "Src/Misc/Encrypt/Secrets.h"
#include "Src/Misc/Encrypt/StepResult.h"
#include "Src/Misc/Encrypt/Trace.h"
#include "host/EnDecrypt.h"

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
  DisableCoreDumps();
  CommandResult result;
  const uint32_t code = static_cast<uint32_t>(EncryptProc());
  return MakeCommandResult(result, code);
}

CommandResult ENCRYPT::Finish() { return CommandResult{}; }

int ENCRYPT::EncryptProc() {
  TRACE_ENTERING("ENCRYPT::EncryptProc");
  // Presence alone selects unattended mode; the option's value is not read.
  const int mode = context.options.count("unattended") != 0 ? kUnattendedMode : kAttendedMode;

  int code = ReadFileIntoMemory();
  if (!Succeeded(code)) {
    KLOG(kLevelError) << "Read customer file error: " << code << ".";
    return code;
  }

  // One passphrase for the whole run: only the pre-check writes it, anew
  // for every type in attended mode; unattended runs keep it empty.
  std::string passphrase;
  const ScopedWipe passphrase_wipe(passphrase);
  std::string path;
  for (const auto& [type, records] : file_records) {
    (void)records;
    path.clear();
    const std::string key = EncryptedPathKeys[type];
    const int r = GetEncryptedFilePath(key, path);
    if (!Succeeded(r)) {
      KLOG(kLevelError) << "Get value: " << key << " error: " << r << ".";
      return StepCode(ERR_READ_FILE);
    }
    FileType current = type;
    code = EncryptPreCheck(mode, path, passphrase, current);
    if (!Succeeded(code)) return code;
    code = RunEncrypt(type, path, passphrase);
    if (!Succeeded(code)) {
      KLOG(kLevelError) << "Encrypt file error.";
      return code;
    }
    CONSOLE_MESSAGE(kLevelConsole)
        << "Succeed in encrypting the message and restoring it info file: " << path << ". "
        << "\n"
        << "Suggest you delete the file with plain text!";
  }
  TRACE_EXITING("ENCRYPT::EncryptProc");
  return StepCode(ERR_SUCCEED);
}

int ENCRYPT::RunEncrypt(FileType type, const std::string& path, const std::string& passphrase) {
  TRACE_ENTERING("ENCRYPT::RunEncrypt");
  EnDecrypt* store = GetStoreInstance();
  if (store == nullptr) return StepCode(ERR_INTERNAL);
  // Always merge: stored records absent from this input stay in the store.
  const bool merge = true;
  const int status = store->Encrypt(file_records[type], path, passphrase, merge);
  return StepCode(MapEncryptionResult(status));
}
