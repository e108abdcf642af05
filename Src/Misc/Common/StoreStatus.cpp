#include "Src/Misc/Common/StoreStatus.h"

#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

uint32_t MapStoreStatus(int status) {
  switch (status) {
    case endecrypt_status::kOk: return ERR_SUCCEED;
    case endecrypt_status::kNoCredential: return ERR_NO_MATCHING_CREDENTIAL;
    case endecrypt_status::kInvalidFile: return ERR_ENCRYPTED_FILE_INVALID;
    case endecrypt_status::kWriteFailed: return ERR_WRITE_FILE;
    case endecrypt_status::kNotExist: return ERR_ENCRYPTED_FILE_NOT_EXIST;
    case endecrypt_status::kModeConflict: return ERR_MODE_CONFLICT;
    case endecrypt_status::kInterrupted: return ERR_INTERRUPTED;
    case endecrypt_status::kWrongPassphrase: return ERR_PASSPHRASE;
    default: return ERR_ENCRYPT_DECRYPT;
  }
}

uint32_t MapAdminStatus(int status) {
  switch (status) {
    case endecrypt_status::kNotExist: return ERR_FILE_NOT_EXIST;
    case endecrypt_status::kRecordAbsent: return ERR_GENERIC_FAILURE;
    case endecrypt_status::kBusy:
    case endecrypt_status::kKeyInUse:
    case endecrypt_status::kConflict: return ERR_WRITE_FILE;
    default: return MapStoreStatus(status);
  }
}
