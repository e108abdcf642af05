// SET, the set command: stores one value under "--key NAME", read from
// "--value-from FILE" or "--value-from -" (standard input), less one final
// newline, or typed hidden twice at the console. Makes the store when it
// is absent. Shows "add: N, update: M" and, for an existing store and
// unless "--quiet", asks the (y/N) question of an update.
// A credentials store never holds half a pair: "--key" there names the user
// or password of a stored target, and a new target comes in whole with
// "--target HOST --user NAME", the value being its password.
#ifndef SRC_MISC_SET_SET_H_
#define SRC_MISC_SET_SET_H_

#include <string>

#include "Src/Misc/Common/StoreCommand.h"

class SET : public StoreCommand {
 public:
  SET() : StoreCommand("set") {}

 protected:
  [[nodiscard]] uint32_t CheckOptions() override;
  [[nodiscard]] bool WritesDataToStandardOutput() const override { return false; }
  [[nodiscard]] bool MayCreateStore() const override { return true; }
  [[nodiscard]] uint32_t CheckBeforePrompt(EncryptionMode mode) override;
  [[nodiscard]] uint32_t RunOnStore(EnDecrypt& store) override;

 private:
  // The records to write, checked against what the store holds.
  [[nodiscard]] uint32_t MakeChanges(const RecordMap& stored, std::string& value,
                                     RecordMap& changes) const;
  // The value, from "--value-from" or the console, into `value`.
  [[nodiscard]] uint32_t ReadValue(std::string& value) const;
};

#endif  // SRC_MISC_SET_SET_H_
