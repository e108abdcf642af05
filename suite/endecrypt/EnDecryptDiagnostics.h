// Diagnostics of the store library for its tests and benchmark: how many
// passphrase key derivations (Argon2id runs) this process has made, and a
// way to forget the derived keys cached in memory, so the next call on a
// store derives afresh as a new process would; and ways to hand it its
// settings instead of writing a configuration file, and a file layer of
// the test's own. Thread-safe.
#ifndef SUITE_ENDECRYPT_ENDECRYPTDIAGNOSTICS_H_
#define SUITE_ENDECRYPT_ENDECRYPTDIAGNOSTICS_H_

#include "host/Export.h"
#include "suite/endecrypt/StoreSettings.h"
#include "suite/platform/FileSystem.h"

// Number of Argon2id runs since the process started.
ENDECRYPT_API unsigned long long EnDecryptKeyDerivationCount();

// Wipes every cached passphrase-derived key.
ENDECRYPT_API void EnDecryptForgetDerivedKeys();

// Makes the library use `settings` instead of the configuration's store
// settings; null returns it to the configuration.
ENDECRYPT_API void EnDecryptUseSettings(const endecrypt::StoreSettings* settings);

// Makes every file operation of the library (stores, the host key and its
// ring, backups) go through `files`, which must outlive its use; null
// returns it to the system's file layer.
ENDECRYPT_API void EnDecryptUseFileSystem(platform::FileSystem* files);

#endif  // SUITE_ENDECRYPT_ENDECRYPTDIAGNOSTICS_H_
