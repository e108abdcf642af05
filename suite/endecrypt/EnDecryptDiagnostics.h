// Diagnostics of the store library for its tests and benchmark: how many
// passphrase key derivations (Argon2id runs) this process has made, and a
// way to forget the derived keys cached in memory, so the next call on a
// store derives afresh as a new process would; and a way to hand it its
// settings instead of writing a configuration file. Thread-safe.
#ifndef SUITE_ENDECRYPT_ENDECRYPTDIAGNOSTICS_H_
#define SUITE_ENDECRYPT_ENDECRYPTDIAGNOSTICS_H_

#include "host/EnDecrypt.h"
#include "suite/endecrypt/StoreSettings.h"

// Number of Argon2id runs since the process started.
ENDECRYPT_API unsigned long long EnDecryptKeyDerivationCount();

// Wipes every cached passphrase-derived key.
ENDECRYPT_API void EnDecryptForgetDerivedKeys();

// Makes the library use `settings` instead of the configuration's store
// settings; null returns it to the configuration.
ENDECRYPT_API void EnDecryptUseSettings(const endecrypt::StoreSettings* settings);

#endif  // SUITE_ENDECRYPT_ENDECRYPTDIAGNOSTICS_H_
