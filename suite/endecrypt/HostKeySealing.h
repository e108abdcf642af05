// Changing how this host's key rests on disk, for an administration
// command: the key itself, and so every unattended store, stays the same.
// The procedure around it is described in docs/store-format.md.
#ifndef SUITE_ENDECRYPT_HOSTKEYSEALING_H_
#define SUITE_ENDECRYPT_HOSTKEYSEALING_H_

#include "host/EnDecrypt.h"

// Rewrites the configured host key file (ENCRYPT_HOST_KEY_PATH) under the
// configured protection (ENCRYPT_HOST_KEY_PROTECTION): seals a plain key,
// reseals a sealed one (to new PCRs, say) or turns it back into a plain
// file. The old file is replaced only by one that was unsealed back to the
// same key. Returns a store status; on failure the old file is untouched.
[[nodiscard]] ENDECRYPT_API StoreStatus EnDecryptSealHostKeyInPlace();

#endif  // SUITE_ENDECRYPT_HOSTKEYSEALING_H_
