// The command's one window on the store: the instance its steps call, and
// its view of the store's statuses.
#include "Src/Misc/Encrypt/Encrypt.h"
#include "Src/Misc/Encrypt/StepResult.h"
#include "Src/Misc/Encrypt/StoreStatus.h"
#include "Src/Misc/Encrypt/Trace.h"
#include "errors/ErrorCatalogue.h"
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
  return MakeCommandResult(result, MapStoreStatus(value));
}
