// The audit command: verify checks the chain of the audit log (or of the
// files given after the action, in order), show prints its entries,
// filtered.
#ifndef SRC_MISC_AUDIT_AUDIT_H_
#define SRC_MISC_AUDIT_AUDIT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "Src/Misc/Common/CommandFrame.h"

class AUDIT : public CommandFrame {
 public:
  AUDIT() : CommandFrame("audit") {}

 protected:
  [[nodiscard]] uint32_t RunCommand() override;

 private:
  // True when files are given after the action, in order.
  [[nodiscard]] bool HasFiles() const;
  [[nodiscard]] uint32_t ReadFiles(std::vector<std::string>& texts) const;
  [[nodiscard]] uint32_t Verify();
  [[nodiscard]] uint32_t Show();
};

#endif  // SRC_MISC_AUDIT_AUDIT_H_
