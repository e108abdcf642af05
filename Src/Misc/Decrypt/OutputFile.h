// Writing decrypted text to a file of the user's choosing: a new file is
// made owner-only and exclusively (an existing entry is refused and left
// alone); a replacement is written beside the old file and renamed over
// it, so the old file stays whole until the new one is.
#ifndef SRC_MISC_DECRYPT_OUTPUTFILE_H_
#define SRC_MISC_DECRYPT_OUTPUTFILE_H_

#include <string>

enum class OutputResult {
  kOk,
  kExists,  // something is already at the path (new files only)
  kFailed,  // any other refusal of the system; nothing new is left behind
};

// Creates `path` (mode 0600 where the system has modes) holding `data`.
[[nodiscard]] OutputResult WriteNewOutputFile(const std::string& path, const std::string& data);

// Replaces whatever file is at `path` by one holding `data`, atomically.
[[nodiscard]] OutputResult ReplaceOutputFile(const std::string& path, const std::string& data);

#endif  // SRC_MISC_DECRYPT_OUTPUTFILE_H_
