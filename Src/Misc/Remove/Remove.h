// REMOVE, the remove command: removes the record named by "--key" from a
// store. Shows "remove: 1" and, unless "--quiet", asks the Y/N question of
// an update; declining leaves the store byte for byte.
#ifndef SRC_MISC_REMOVE_REMOVE_H_
#define SRC_MISC_REMOVE_REMOVE_H_

#include "Src/Misc/Common/StoreCommand.h"

class REMOVE : public StoreCommand {
 protected:
  [[nodiscard]] uint32_t CheckOptions() override;
  [[nodiscard]] bool WritesDataToStandardOutput() const override { return false; }
  [[nodiscard]] uint32_t RunOnStore(EnDecrypt& store) override;
};

#endif  // SRC_MISC_REMOVE_REMOVE_H_
