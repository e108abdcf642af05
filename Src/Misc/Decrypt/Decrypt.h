// DECRYPT, the decrypt command: writes a store's records as the plaintext
// file encrypt reads (PlainText.h), to "--output FILE" (a new owner-only
// file; "--force" replaces one atomically) or to standard output (also
// "--output -"); the output is checked before any prompt. The form is the
// store's (PlainText.h, FormOfStore); a store whose text encrypt would not
// take back is refused, or, for credentials without a record, said so.
#ifndef SRC_MISC_DECRYPT_DECRYPT_H_
#define SRC_MISC_DECRYPT_DECRYPT_H_

#include <string>

#include "Src/Misc/Common/OutputFile.h"
#include "Src/Misc/Common/StoreCommand.h"

class DECRYPT : public StoreCommand {
 public:
  DECRYPT() : StoreCommand("decrypt") {}

 protected:
  [[nodiscard]] bool WritesDataToStandardOutput() const override { return !WritesFile(); }
  [[nodiscard]] uint32_t CheckBeforePrompt(EncryptionMode mode) override;
  [[nodiscard]] uint32_t RunOnStore(EnDecrypt& store) override;

 private:
  // False for standard output: no "--output", or "--output -".
  [[nodiscard]] bool WritesFile() const { return !Output().IsStandardOutput(); }
  [[nodiscard]] OutputFile Output() const;
  [[nodiscard]] uint32_t WriteText(const std::string& text) const;
};

#endif  // SRC_MISC_DECRYPT_DECRYPT_H_
