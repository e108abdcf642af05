#include "Src/Misc/Decrypt/Decrypt.h"

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/OutputFile.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

uint32_t DECRYPT::CheckBeforePrompt(EncryptionMode mode) {
  static_cast<void>(mode);
  return Output().Check(path);
}

uint32_t DECRYPT::RunOnStore(EnDecrypt& store) {
  // The text holds every secret of the store: wiped however the run ends.
  std::string plain;
  const ScopedWipe plain_wipe(plain);
  const uint32_t code = ReadStoreText(store, plain);
  return code == ERR_SUCCEED ? WriteText(plain) : code;
}

OutputFile DECRYPT::Output() const {
  return OutputFile{HasOption("output") ? GetOption("output") : std::string(), HasOption("force")};
}

uint32_t DECRYPT::WriteText(const std::string& text) const {
  const OutputFile output = Output();
  const uint32_t code = output.Write(text.data(), text.size());
  if (code != ERR_SUCCEED || output.IsStandardOutput()) return code;
  CONSOLE_MESSAGE(kLevelConsole) << "Succeed in decrypting the file " << path << " into "
                                 << output.path << ".";
  return ERR_SUCCEED;
}
