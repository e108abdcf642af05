// EDIT, the edit command: writes a store's records, as decrypt writes them,
// to a private file (PrivateFile.h), runs the user's editor on it (Editor.h)
// and reads the result back with encrypt's readers. Shows "add: N, update:
// M, remove: K" and, unless "--quiet", asks the Y/N question; the edited
// records then replace the store's. An unchanged file, or an edit that
// cannot be read (the line is named when known), writes nothing.
#ifndef SRC_MISC_EDIT_EDIT_H_
#define SRC_MISC_EDIT_EDIT_H_

#include <string>

#include "Src/Misc/Common/StoreCommand.h"

class EDIT : public StoreCommand {
 protected:
  [[nodiscard]] bool WritesDataToStandardOutput() const override { return false; }
  [[nodiscard]] uint32_t RunOnStore(EnDecrypt& store) override;

 private:
  // The text of `records` in `text`, in the store's form; `credentials`
  // tells which form it is.
  [[nodiscard]] uint32_t FormatRecords(const RecordMap& records, std::string& text,
                                       bool& credentials) const;
  // Shows the changes from `stored` to `edited`, asks, and writes them.
  [[nodiscard]] uint32_t WriteEdited(EnDecrypt& store, const RecordMap& stored,
                                     const RecordMap& edited);
};

#endif  // SRC_MISC_EDIT_EDIT_H_
