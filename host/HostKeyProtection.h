// How the host key may rest on disk: its 32 bytes as they are in an
// owner-only file, sealed by this machine's TPM (Linux), or sealed by
// Windows DPAPI. One list of names serves the configuration
// (ENCRYPT_HOST_KEY_PROTECTION), the hostkey command's "--protection" and
// the store library's host-key administration.
#ifndef HOST_HOSTKEYPROTECTION_H_
#define HOST_HOSTKEYPROTECTION_H_

#include <cstddef>
#include <cstdint>
#include <iterator>

// The values are also the protection byte of a sealed key file
// (docs/store-format.md): never renumbered.
enum class HostKeyProtection : std::uint8_t { kFile = 0, kTpm2 = 1, kDpapi = 2 };

// The names of the protections, indexed by HostKeyProtection.
inline constexpr const char* kHostKeyProtectionNames[] = {"file", "tpm2", "dpapi"};

// The name of `protection`.
constexpr const char* GetHostKeyProtectionName(HostKeyProtection protection) {
  return kHostKeyProtectionNames[static_cast<std::size_t>(protection)];
}

static_assert(std::size(kHostKeyProtectionNames) ==
                  static_cast<std::size_t>(HostKeyProtection::kDpapi) + 1,
              "one name per protection");

#endif  // HOST_HOSTKEYPROTECTION_H_
