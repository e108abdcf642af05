// The encrypt command's view of the store's statuses.
#include "Src/Misc/Encrypt/Encrypt.h"
#include "Src/Misc/Encrypt/StoreStatus.h"
#include "errors/ErrorCatalogue.h"

CommandResult ENCRYPT::MapEncryptionResult(int value) {
  CommandResult result;
  return MakeCommandResult(result, MapStoreStatus(value));
}
