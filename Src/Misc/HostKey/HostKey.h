// HOSTKEY, the hostkey command: the life of this host's key, on which every
// unattended store hangs. "status" shows the key and which stores it opens,
// "seal" changes how it rests on disk, "rotate" replaces it (keeping the
// old key) and moves the stores it is told about, "retire" removes a kept
// key no named store needs, "backup" and "restore" wrap it under a
// passphrase and put it back. Driven from one thread by the host.
#ifndef SRC_MISC_HOSTKEY_HOSTKEY_H_
#define SRC_MISC_HOSTKEY_HOSTKEY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "Src/Misc/Common/CommandFrame.h"

class HOSTKEY : public CommandFrame {
 public:
  HOSTKEY() : CommandFrame("hostkey") {}

 protected:
  // Retire's argument must be a key id; the table checks the rest.
  [[nodiscard]] uint32_t CheckOptions() override;
  [[nodiscard]] uint32_t RunCommand() override;

 private:
  [[nodiscard]] uint32_t ShowStatus();
  [[nodiscard]] uint32_t Seal();
  [[nodiscard]] uint32_t Rotate();
  [[nodiscard]] uint32_t Retire();
  [[nodiscard]] uint32_t ShowRecipient();
  [[nodiscard]] uint32_t Backup();
  [[nodiscard]] uint32_t Restore();

  // The configured stores that exist in the configuration, then every "--store".
  [[nodiscard]] std::vector<std::string> GetStores() const;
};

#endif  // SRC_MISC_HOSTKEY_HOSTKEY_H_
