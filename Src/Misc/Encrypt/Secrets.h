// Small helpers shared by the command's sources for secrets and paths.
#ifndef SRC_MISC_ENCRYPT_SECRETS_H_
#define SRC_MISC_ENCRYPT_SECRETS_H_

#include <string>

// Zeroes the whole buffer of `text`, past its end included, then empties it.
// For strings that held a passphrase or a secret value.
void WipeString(std::string& text);

// True when `path` names an existing file-system entry of any kind. A query
// that fails for another reason than absence counts as "not there", leaving
// the decision to whoever opens the path next.
bool EntryExists(const std::string& path);

#endif  // SRC_MISC_ENCRYPT_SECRETS_H_
