// REMOVE, the remove command: removes the record named by "--key", or both
// records of the credential target named by "--target", from a store; one
// half of a credential pair is never removed alone. Shows "remove: N" and, unless "--quiet", asks the (y/N) question of
// an update; declining leaves the store byte for byte.
#ifndef SRC_MISC_REMOVE_REMOVE_H_
#define SRC_MISC_REMOVE_REMOVE_H_

#include <string>
#include <vector>

#include "Src/Misc/Common/StoreCommand.h"

class REMOVE : public StoreCommand {
 public:
  REMOVE() : StoreCommand("remove") {}

 protected:
  [[nodiscard]] uint32_t CheckOptions() override;
  [[nodiscard]] bool WritesDataToStandardOutput() const override { return false; }
  [[nodiscard]] uint32_t RunOnStore(EnDecrypt& store) override;

 private:
  // The keys to remove, out of the `stored` keys (ascending), into `keys`.
  [[nodiscard]] uint32_t PickKeys(const std::vector<std::string>& stored,
                                  std::vector<std::string>& keys) const;
  // Says that `key` is not stored; the code of a record absent, as get's.
  [[nodiscard]] uint32_t NotStored(const std::string& key) const;
};

#endif  // SRC_MISC_REMOVE_REMOVE_H_
