// Reading an edited plaintext file back into records, with the readers
// encrypt uses: the sensitive settings reader's JSON rules for a settings
// store, the credential parser for a credentials store. A refusal says why
// in words for the console, with the line when the JSON reader knows it;
// it never quotes the file.
#ifndef SRC_MISC_EDIT_EDITEDTEXT_H_
#define SRC_MISC_EDIT_EDITEDTEXT_H_

#include <map>
#include <string>

using EditedRecords = std::map<std::string, std::string>;

// Reads the file at `path`, whose text is `text`, as the credential file
// (`credentials`) or the settings file it was written as. On success stores
// its records in `records`; otherwise leaves `records` untouched and states
// the fault in `reason`.
[[nodiscard]] bool ReadEditedFile(const std::string& path, const std::string& text,
                                  bool credentials, EditedRecords& records, std::string& reason);

#endif  // SRC_MISC_EDIT_EDITEDTEXT_H_
