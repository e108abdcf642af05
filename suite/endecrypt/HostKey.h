// The host key: 32 random bytes in an owner-only file of their own, from
// which each unattended store derives its key, so such stores open without
// a passphrase on this host and on no other. Created by the first
// unattended write that needs it; never replaced once there.
#ifndef SUITE_ENDECRYPT_HOSTKEY_H_
#define SUITE_ENDECRYPT_HOSTKEY_H_

#include <string>

namespace endecrypt {

class SecureBuffer;

// Loads the host key at `path` into `key`. Returns kOk, or kNoCredential
// when there is no readable file of exactly kHostKeySize bytes.
[[nodiscard]] int LoadHostKey(const std::string& path, SecureBuffer& key);

// As LoadHostKey, but creates a fresh random key at `path` when there is
// none; of two processes creating it at once, both end with the same key.
// Returns kOk, kNoCredential (a damaged key file, which is never
// overwritten), kWriteFailed or kInternal.
[[nodiscard]] int LoadOrCreateHostKey(const std::string& path, SecureBuffer& key);

// Writes the kKeyIdSize-byte id of `key` to `key_id`: a one-way tag that
// tells stores of different host keys apart. Returns kOk or kInternal.
[[nodiscard]] int ComputeHostKeyId(const SecureBuffer& key, unsigned char* key_id);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_HOSTKEY_H_
