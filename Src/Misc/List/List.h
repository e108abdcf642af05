// LIST, the list command: prints the keys of a store's records, one per
// line in ascending byte order, on standard output; never a value. With
// "--json" one JSON array of the keys, in the same order.
#ifndef SRC_MISC_LIST_LIST_H_
#define SRC_MISC_LIST_LIST_H_

#include "Src/Misc/Common/StoreCommand.h"

class LIST : public StoreCommand {
 public:
  LIST() : StoreCommand("list") {}

 protected:
  [[nodiscard]] bool WritesDataToStandardOutput() const override { return true; }
  [[nodiscard]] uint32_t RunOnStore(EnDecrypt& store) override;
};

#endif  // SRC_MISC_LIST_LIST_H_
