// The command's one window on the store: the instance its steps call, and
// the one place that interprets the store's statuses.
#include "Src/Misc/Encrypt/Encrypt.h"
#include "Src/Misc/Encrypt/StepResult.h"
#include "Src/Misc/Encrypt/Trace.h"
#include "host/EnDecrypt.h"

EnDecrypt* GetStoreInstance() {
  EnDecrypt* store = EnDecrypt::GetInstance();
  if (store == nullptr) {
    KLOG(kLevelError) << "Get EnDecrypt instance error.";
  }
  return store;
}

CommandResult ENCRYPT::MapEncryptionResult(int value) {
  CommandResult result;
  uint32_t code = ERR_ENCRYPT_DECRYPT;  // every status not named below
  switch (value) {
    case endecrypt_status::kOk: code = ERR_SUCCEED; break;
    case endecrypt_status::kNoCredential: code = ERR_NO_MATCHING_CREDENTIAL; break;
    case endecrypt_status::kInvalidFile: code = ERR_ENCRYPTED_FILE_INVALID; break;
    case endecrypt_status::kWriteFailed: code = ERR_WRITE_FILE; break;
    case endecrypt_status::kNotExist: code = ERR_ENCRYPTED_FILE_NOT_EXIST; break;
    case endecrypt_status::kModeConflict: code = ERR_MODE_CONFLICT; break;
    case endecrypt_status::kInterrupted: code = ERR_INTERRUPTED; break;
    case endecrypt_status::kWrongPassphrase: code = ERR_PASSPHRASE; break;
    default: break;
  }
  return MakeCommandResult(result, code);
}
