// The store's settings: the Argon2id costs given to new stores, the host
// key's path and its protection. The library reads them from the suite's
// global configuration once per load of it (a GlobalConfig::Reload makes it
// read them again), or uses the settings it is handed
// (EnDecryptUseSettings, for tests).
#ifndef SUITE_ENDECRYPT_STORESETTINGS_H_
#define SUITE_ENDECRYPT_STORESETTINGS_H_

#include <cstdint>
#include <string>

#include "suite/endecrypt/HostKeyProtection.h"
#include "suite/endecrypt/KeyDerivation.h"

namespace endecrypt {

// The Argon2id costs of a new attended store when the configuration names
// none; also the floor of a host key backup's costs.
constexpr std::uint32_t kDefaultOpsLimit = 3;
constexpr std::uint64_t kDefaultMemLimit = std::uint64_t{256} << 20;  // 256 MiB

// The protection named `name` (host/HostKeyProtection.h); false, with
// `protection` untouched, for any other name.
[[nodiscard]] bool ParseProtectionName(const std::string& name, Protection& protection);

// The name ParseProtectionName takes for `protection`.
const char* GetProtectionName(Protection protection);

// How long a writer waits for a store's writers' lock when the
// configuration does not say.
constexpr int kDefaultLockWaitSeconds = 30;

// Every store setting with the status of each part: a part that is not
// kOk (kBadConfiguration) fails only the calls that need it, as reading
// that part alone would.
struct StoreSettings {
  int costs_status = 0;
  KdfCosts costs;
  int host_key_path_status = 0;
  std::string host_key_path;
  int protection_status = 0;
  ProtectionSettings protection;
  int lock_wait_status = 0;
  int lock_wait_seconds = kDefaultLockWaitSeconds;
  int ssh_host_key_path_status = 0;
  std::string ssh_host_key_path;
  bool ssh_host_key_configured = false;
};

// Reads every store setting from the global configuration.
StoreSettings ReadStoreSettings();

// Stores in `costs` the configured costs (ENCRYPT_KDF_OPSLIMIT and
// ENCRYPT_KDF_MEMLIMIT, in bytes), each defaulting when absent. Returns
// kOk, or kBadConfiguration when the configuration file is broken or a
// value is not a whole number within the bounds a reader accepts; `costs`
// is untouched then.
[[nodiscard]] int ReadKdfCosts(KdfCosts& costs);
// The three readers below take their part of the settings in force.

// Stores in `path` the host key's path (ENCRYPT_HOST_KEY_PATH, else the
// platform default). Returns kOk, or kBadConfiguration when the
// configuration file is broken or no path can be named.
[[nodiscard]] int ReadHostKeyPath(std::string& path);

// Stores in `path` the OpenSSH host key import tries (SSH_HOST_KEY_PATH,
// else the platform default, platform::DefaultSshHostKeyPath) and in
// `configured` whether the configuration names it. Returns kOk, or
// kBadConfiguration when the configuration file is broken or no path can
// be named.
[[nodiscard]] int ReadSshHostKeyPath(std::string& path, bool& configured);

// Stores in `settings` how the host key is protected
// (ENCRYPT_HOST_KEY_PROTECTION: file, the default, tpm2 or dpapi), the TCTI
// of the TPM (ENCRYPT_TPM2_TCTI, default the kernel's resource manager) and
// the PCRs new seals are bound to (ENCRYPT_TPM2_PCRS: indexes 0 to 23
// separated by commas, default none) and the longest wait for one TPM
// exchange (ENCRYPT_TPM2_TIMEOUT_MS: 1 to 600000, default 5000). Returns
// kOk, or kBadConfiguration
// when the configuration file is broken or a value is unknown; `settings`
// is untouched then.
[[nodiscard]] int ReadProtectionSettings(ProtectionSettings& settings);

// Stores in `seconds` how long a writer waits for a store's writers' lock
// before it gives up (ENCRYPT_LOCK_WAIT_SECONDS: 0 to 3600, default 30).
// Returns kOk, or kBadConfiguration when the configuration file is broken
// or the value is out of range; `seconds` is untouched then.
[[nodiscard]] int ReadLockWaitSeconds(int& seconds);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_STORESETTINGS_H_
