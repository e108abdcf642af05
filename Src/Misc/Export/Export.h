// EXPORT, the export command: writes what decrypt would write of a store,
// its plaintext file, age-encrypted (age-encryption.org/v1) to every
// recipient of "--recipient" and "--recipients-file", binary or with
// "--armor" as text, to the file of "--output" or standard output for "-".
// The output file follows decrypt's rules: owner-only, made whole, an
// existing one replaced only with "--force", never the store itself.
#ifndef SRC_MISC_EXPORT_EXPORT_H_
#define SRC_MISC_EXPORT_EXPORT_H_

#include <vector>

#include "Src/Misc/Common/OutputFile.h"
#include "Src/Misc/Common/StoreCommand.h"
#include "suite/age/AgeFormat.h"

class EXPORT : public StoreCommand {
 public:
  EXPORT() : StoreCommand("export") {}

 protected:
  [[nodiscard]] uint32_t CheckOptions() override;
  [[nodiscard]] bool WritesDataToStandardOutput() const override {
    return Output().IsStandardOutput();
  }
  [[nodiscard]] uint32_t CheckBeforePrompt(EncryptionMode mode) override;
  [[nodiscard]] uint32_t RunOnStore(EnDecrypt& store) override;

 private:
  [[nodiscard]] OutputFile Output() const;
  [[nodiscard]] uint32_t ReadRecipientsFile();

  std::vector<age::Recipient> recipients;
};

#endif  // SRC_MISC_EXPORT_EXPORT_H_
