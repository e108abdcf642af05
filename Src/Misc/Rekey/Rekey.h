// REKEY, the rekey command: re-seals a store under a fresh salt. An
// attended store takes a new passphrase (asked twice); an unattended one is
// sealed again with the current host key. "--to-unattended" turns an
// attended store into an unattended one, "--to-attended" the reverse.
// Afterwards the old passphrase opens nothing.
#ifndef SRC_MISC_REKEY_REKEY_H_
#define SRC_MISC_REKEY_REKEY_H_

#include "Src/Misc/Common/StoreCommand.h"

class REKEY : public StoreCommand {
 public:
  REKEY() : StoreCommand("rekey") {}

 protected:
  [[nodiscard]] uint32_t CheckOptions() override;
  [[nodiscard]] bool WritesDataToStandardOutput() const override { return false; }
  [[nodiscard]] std::optional<EncryptionMode> ExpectedMode() const override;
  [[nodiscard]] uint32_t CheckBeforePrompt(EncryptionMode mode) override;
  [[nodiscard]] uint32_t RunOnStore(EnDecrypt& store) override;
  [[nodiscard]] const char* PassphraseName() const override { return "current passphrase"; }

 private:
  // The mode the store has after the run.
  [[nodiscard]] EncryptionMode TargetMode() const;
};

#endif  // SRC_MISC_REKEY_REKEY_H_
