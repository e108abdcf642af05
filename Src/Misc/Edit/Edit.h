// EDIT, the edit command: writes a store's records, as decrypt writes them,
// to a private file (suite/platform/PrivateFile.h), runs the user's editor
// on it (suite/platform/Editor.h) and reads the result back with encrypt's
// readers. Shows "add: N, update: M, remove: K" and, unless "--quiet", asks
// the (y/N) question; the changes made in the editor, and only those, are then
// applied to the store as it is by then. An unchanged file, an edit that
// cannot be read (the line is named when known), or a change to a record
// that another command changed while the editor was open, writes nothing; on
// a terminal the editor is offered again.
#ifndef SRC_MISC_EDIT_EDIT_H_
#define SRC_MISC_EDIT_EDIT_H_

#include <string>

#include "Src/Misc/Common/StoreCommand.h"

class EDIT : public StoreCommand {
 public:
  EDIT() : StoreCommand("edit") {}

 protected:
  [[nodiscard]] bool WritesDataToStandardOutput() const override { return false; }
  [[nodiscard]] uint32_t RunOnStore(EnDecrypt& store) override;

 private:
  // Runs the editor on the text of `stored` until its result is written,
  // unchanged or given up; `again` asks for a fresh start on the store as
  // it is now (a conflict the user wants to redo).
  [[nodiscard]] uint32_t EditRecords(EnDecrypt& store, const RecordMap& stored, bool& again);
  // Opens the editor on a private file holding `text`, reads the result
  // into `edited_text` and its records into `edited`, or says in `reason`
  // why they cannot be read; the file is gone when this returns.
  [[nodiscard]] uint32_t RunEditorOn(const std::string& text, bool credentials,
                                     std::string& edited_text, RecordMap& edited,
                                     std::string& reason);
  // Shows the changes from `stored` to `edited`, asks, and applies them;
  // `conflict` tells a refusal for records changed meanwhile.
  [[nodiscard]] uint32_t WriteEdited(EnDecrypt& store, const RecordMap& stored,
                                     const RecordMap& edited, bool& conflict);
};

#endif  // SRC_MISC_EDIT_EDIT_H_
