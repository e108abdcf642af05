// Rotation of the host key, crash-safe across files. While a rotation is
// unfinished the previous key rests beside the current one in
// "<host key>.old" (same trust rules, same protection as before) and every
// unattended store opens with whichever of the two its header's key id
// names. The states are described in docs/store-format.md.
#ifndef SUITE_ENDECRYPT_HOSTKEYROTATION_H_
#define SUITE_ENDECRYPT_HOSTKEYROTATION_H_

#include <string>

namespace endecrypt {

class SecureBuffer;
struct ProtectionSettings;

// The path of the previous key while a rotation of the key at `path` is
// unfinished.
std::string GetOldHostKeyPath(const std::string& path);

// Stores in `key` the configured host key, or the previous one of an
// unfinished rotation, whichever has the id `key_id` (kKeyIdSize bytes).
// Returns kOk; kWrongPassphrase when neither has it; else the statuses of
// LoadHostKey for the current key. `key` is untouched on failure.
[[nodiscard]] int LoadHostKeyById(const unsigned char* key_id, SecureBuffer& key);

// Writes `key` to the host key file at `path` under the protection of
// `settings`, after proving the sealed form unseals to the same key:
// replacing the file with `replace`, else only when there is none. Returns
// kOk, kWriteFailed (also for an existing file without `replace`), or the
// statuses of ProtectHostKey. On failure the old file is untouched.
[[nodiscard]] int WriteHostKeyFile(const std::string& path, const ProtectionSettings& settings,
                                   const SecureBuffer& key, bool replace);

// Makes a new host key at `path`, keeping the current one as the old key,
// unless a rotation is already unfinished (the old key differs from the
// current one): `resumed` tells which. A run killed at any point leaves
// both keys able to open what they sealed. Returns kOk or the statuses of
// LoadHostKey and WriteHostKeyFile.
[[nodiscard]] int BeginRotation(const std::string& path, bool& resumed);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_HOSTKEYROTATION_H_
