// The ENCRYPT object and its procedure: read the input file, then for every
// type found work out its store, run the pre-check and write the records.
#include "Src/Misc/Encrypt/Encrypt.h"

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/StoreLocation.h"
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
  for (const auto& [type, records] : file_records) {
    (void)records;
    path.clear();
    const std::string key = EncryptedPathKeys[type];
    const uint32_t r = GetEncryptedFilePath(key, path);
    if (r != ERR_SUCCEED) {
      KLOG(kLevelError) << "Get value: " << key << " error: " << r << ".";
      return ERR_READ_FILE;
    }
    FileType current = type;
    code = EncryptPreCheck(mode, path, passphrase, current);
    if (code != ERR_SUCCEED) return code;
    code = RunEncrypt(type, path, passphrase);
    if (code != ERR_SUCCEED) {
      KLOG(kLevelError) << "Encrypt file error.";
      return code;
    }
    CONSOLE_MESSAGE(kLevelConsole)
        << "Succeed in encrypting the message and restoring it info file: " << path << ". "
        << "\n"
        << "Suggest you delete the file with plain text!";
  }
  TRACE_EXITING("ENCRYPT::EncryptProc");
  return ERR_SUCCEED;
}

uint32_t ENCRYPT::RunEncrypt(FileType type, const std::string& path, const std::string& passphrase) {
  TRACE_ENTERING("ENCRYPT::RunEncrypt");
  EnDecrypt* store = GetStoreInstance();
  if (store == nullptr) return ERR_INTERNAL;
  // Always merge: stored records absent from this input stay in the store.
  const bool merge = true;
  const int status = store->Encrypt(file_records[type], path, passphrase, merge);
  return MapEncryptionResult(status).code;
}

// Where each type's encrypted store lives, by the rules shared with the
// other store commands.
uint32_t ENCRYPT::GetEncryptedFilePath(std::string key, std::string& path) {
  TRACE_ENTERING("ENCRYPT::GetEncryptedFilePath");
  const uint32_t code = LocateStore(key, path);
  if (!path.empty()) {
    TRACE_EXITING("ENCRYPT::GetEncryptedFilePath");
  }
  return code;
}

// The command's one window on the store: the instance its steps call, and
// its view of the store's statuses.
EnDecrypt* ENCRYPT::GetStoreInstance() {
  EnDecrypt* store = EnDecrypt::GetInstance();
  if (store == nullptr) {
    KLOG(kLevelError) << "Get EnDecrypt instance error.";
  }
  return store;
}

CommandResult ENCRYPT::MapEncryptionResult(int value) {
  CommandResult result;
  return MakeCommandResult(result, MapStoreStatus(value));
}
