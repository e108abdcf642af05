// VERIFY, the verify command: opens and authenticates a whole store and
// prints one line on standard output: its path, mode, record count and,
// for an attended store, the key-derivation costs in its header. Meant for
// monitoring and backups: the result is 0 only for a sound store. With
// "--json" one JSON object whatever the outcome: path and sound, then for a
// sound store mode, records and, when attended, kdf; for any failure (no
// store, a wrong passphrase, a damaged file) its code and fault.
#ifndef SRC_MISC_VERIFY_VERIFY_H_
#define SRC_MISC_VERIFY_VERIFY_H_

#include <string>

#include "Src/Misc/Common/StoreCommand.h"
#include "host/EnDecrypt.h"

class VERIFY : public StoreCommand {
 public:
  VERIFY() : StoreCommand("verify") {}

 protected:
  [[nodiscard]] bool WritesDataToStandardOutput() const override { return true; }
  [[nodiscard]] uint32_t RunCommand() override;
  [[nodiscard]] uint32_t RunOnStore(EnDecrypt& store) override;

 private:
  std::string FormatJson(const EnDecrypt::StoreInfo& info) const;
  std::string FormatFailureJson(uint32_t code) const;

  bool result_written = false;  // RunOnStore wrote the result, sound or not
};

#endif  // SRC_MISC_VERIFY_VERIFY_H_
