#include "Src/Misc/Common/StoreStatus.h"

#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"

namespace {

uint32_t ToCode(int status) {
  switch (status) {
    case endecrypt_status::kOk: return ERR_SUCCEED;
    case endecrypt_status::kNoCredential: return ERR_NO_MATCHING_CREDENTIAL;
    case endecrypt_status::kInvalidFile: return ERR_ENCRYPTED_FILE_INVALID;
    case endecrypt_status::kWriteFailed: return ERR_WRITE_FILE;
    case endecrypt_status::kNotExist: return ERR_ENCRYPTED_FILE_NOT_EXIST;
    case endecrypt_status::kModeConflict: return ERR_MODE_CONFLICT;
    case endecrypt_status::kDeclined: return ERR_INTERRUPTED;
    case endecrypt_status::kWrongPassphrase: return ERR_PASSPHRASE;
    default: return ERR_ENCRYPT_DECRYPT;
  }
}

// A reason names the file and the system's error (permission denied on
// which path, a full disk), which no catalogue message does: it is a note
// the host shows after the run, unless `shown` says the command's own
// console line already gives it.
void LogReason(const StoreStatus& status, bool shown = false) {
  if (status == endecrypt_status::kOk || status.GetReason().empty()) return;
  if (shown) {
    KLOG(kLevelError) << status.GetReason();
  } else {
    KLOG_NOTE(kLevelError) << status.GetReason();
  }
}

}  // namespace

uint32_t MapStoreStatus(const StoreStatus& status) {
  LogReason(status);
  return ToCode(status.GetCode());
}

uint32_t MapHostKeyStatus(const StoreStatus& status) {
  LogReason(status, true);  // its one caller names the host key's problem
  if (status == endecrypt_status::kOk) return ERR_SUCCEED;
  return status == endecrypt_status::kInternal ? ERR_INTERNAL : ERR_NO_MATCHING_CREDENTIAL;
}

uint32_t MapAdminStatus(const StoreStatus& status) {
  LogReason(status);
  switch (status.GetCode()) {
    case endecrypt_status::kNotExist: return ERR_FILE_NOT_EXIST;
    case endecrypt_status::kRecordAbsent: return ERR_GENERIC_FAILURE;
    case endecrypt_status::kBusy:
    case endecrypt_status::kKeyInUse:
    case endecrypt_status::kConflict: return ERR_WRITE_FILE;
    default: return ToCode(status.GetCode());
  }
}
