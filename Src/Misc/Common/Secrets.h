// Small helpers shared by the commands for secrets and paths.
#ifndef SRC_MISC_COMMON_SECRETS_H_
#define SRC_MISC_COMMON_SECRETS_H_

#include <string>

#include "suite/secretmemory/SecretMemory.h"

// True when `path` names an existing file-system entry of any kind. A query
// that fails for another reason than absence counts as "not there", leaving
// the decision to whoever opens the path next.
bool EntryExists(const std::string& path);

#endif  // SRC_MISC_COMMON_SECRETS_H_
