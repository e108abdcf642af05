// GET, the get command: prints the value of the record named by "--key",
// exactly as stored, on standard output, followed by one newline unless
// "--no-newline"; nothing else goes to standard output. A key that is not
// stored ends the run with ERR_GENERIC_FAILURE (exit status 1, like a
// search without a match; MapAdminStatus), which no usage fault, no damaged
// store and no missing host key gives.
#ifndef SRC_MISC_GET_GET_H_
#define SRC_MISC_GET_GET_H_

#include "Src/Misc/Common/StoreCommand.h"

class GET : public StoreCommand {
 public:
  GET() : StoreCommand("get") {}

 protected:
  [[nodiscard]] uint32_t CheckOptions() override;
  [[nodiscard]] bool WritesDataToStandardOutput() const override { return true; }
  [[nodiscard]] uint32_t RunOnStore(EnDecrypt& store) override;
};

#endif  // SRC_MISC_GET_GET_H_
