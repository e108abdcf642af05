// The host's OpenSSH Ed25519 host key as an age identity, for age files
// encrypted to the key an operator collects with ssh-keyscan: the key file
// SSH_HOST_KEY_PATH names, else the system's (/etc/ssh/ssh_host_ed25519_key),
// read under the trust rule as every key is, and parsed as an unencrypted
// OpenSSH private key (docs/age.md).
#ifndef SUITE_ENDECRYPT_SSHHOSTKEY_H_
#define SUITE_ENDECRYPT_SSHHOSTKEY_H_

#include <string>
#include <vector>

#include "suite/age/AgeFormat.h"

namespace endecrypt {

class StoreContext;

// Appends the ssh host key's identity to `identities` and returns true,
// with `tried` naming the key; returns false when there is none to try (no
// file at the system's default place, none that can be named), or, when
// the key cannot be used, with `tried` naming it and saying why.
[[nodiscard]] bool LoadSshHostIdentity(StoreContext& context,
                                       std::vector<age::Identity>& identities, std::string& tried);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_SSHHOSTKEY_H_
