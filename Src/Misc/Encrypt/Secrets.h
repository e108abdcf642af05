// Small helpers shared by the command's sources for secrets and paths.
#ifndef SRC_MISC_ENCRYPT_SECRETS_H_
#define SRC_MISC_ENCRYPT_SECRETS_H_

#include <string>

#include "suite/secretmemory/SecretMemory.h"

// True when `path` names an existing file-system entry of any kind. A query
// that fails for another reason than absence counts as "not there", leaving
// the decision to whoever opens the path next.
bool EntryExists(const std::string& path);

// Turns core dumps off for the rest of the process: a dump taken while a run
// holds passphrases and plaintext values would carry them to disk. Linux:
// not dumpable and a core size limit of 0; other POSIX systems: the limit
// only; Windows: nothing.
void DisableCoreDumps();

#endif  // SRC_MISC_ENCRYPT_SECRETS_H_
