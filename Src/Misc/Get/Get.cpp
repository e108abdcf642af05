#include "Src/Misc/Get/Get.h"

#include <string>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/KeyText.h"
#include "Src/Misc/Common/OutputFile.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "suite/secretmemory/SecretMemory.h"

uint32_t GET::CheckOptions() {
  if (type == Credential && !IsCredentialKey(GetOption("key"))) {
    return RefuseOption("A credentials key is <target>/user or <target>/password");
  }
  return ERR_SUCCEED;
}

uint32_t GET::RunOnStore(EnDecrypt& store) {
  const std::string key = GetOption("key");
  std::string value;
  ScopedWipe<std::string> wipe(value);
  const StoreStatus status = store.GetValue(path, passphrase, key, value);
  if (status.IsRecordAbsent()) {
    KLOG(kLevelError) << "No record '" << ShownText(key) << "' in " << path << ".";
    CONSOLE_MESSAGE(kLevelError) << "The key " << ShownText(key) << " is not stored in " << path
                                 << ".";
    return FromStoreStatus(status);
  }
  uint32_t code = FromReadStatus(status);
  if (code == ERR_SUCCEED) code = RecordReveal({key});
  if (code != ERR_SUCCEED) return code;
  // The newline goes out on its own: no copy of the value is made for it.
  const OutputFile output;
  const uint32_t written = output.Write(value.data(), value.size());
  if (written != ERR_SUCCEED || HasOption("no-newline")) return written;
  return output.Write("\n", 1);
}
