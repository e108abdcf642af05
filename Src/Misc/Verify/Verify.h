// VERIFY, the verify command: opens and authenticates a whole store and
// prints one line on standard output: its path, mode, record count and,
// for an attended store, the key-derivation costs in its header. Meant for
// monitoring and backups: the result is 0 only for a sound store. With
// "--json" one JSON object: path, mode, records and, when attended, kdf.
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
  [[nodiscard]] uint32_t RunOnStore(EnDecrypt& store) override;

 private:
  std::string FormatJson(const EnDecrypt::StoreInfo& info) const;
};

#endif  // SRC_MISC_VERIFY_VERIFY_H_
