// The store's settings: the Argon2id costs given to new stores, the host
// key's path and its protection. An engine reads them from the suite's
// global configuration once per load of it (a GlobalConfig::Reload makes it
// read them again), or uses the settings its options hand it
// (StoreContext).
#ifndef SUITE_ENDECRYPT_STORESETTINGS_H_
#define SUITE_ENDECRYPT_STORESETTINGS_H_

#include <cstdint>
#include <string>

#include "host/HostKeyProtection.h"
#include "host/StoreVocabulary.h"
#include "suite/endecrypt/KeyDerivation.h"

namespace endecrypt {

class StoreContext;

using Protection = HostKeyProtection;

// What the configuration says about sealing: the protection new keys get,
// and for tpm2 the TCTI to reach the TPM, the PCRs (bit i = PCR i of the
// SHA-256 bank) a new seal is bound to (0 binds to none), and how long any
// one exchange with the TPM may take.
struct ProtectionSettings {
  Protection protection = Protection::kFile;
  std::string tpm2_tcti;
  std::uint32_t tpm2_pcrs = 0;
  int tpm2_timeout_ms = 0;
};

// The highest PCR index ENCRYPT_TPM2_PCRS accepts.
constexpr unsigned kMaxPcrIndex = 23;

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
  StoreStatus costs_status;
  KdfCosts costs;
  StoreStatus host_key_path_status;
  std::string host_key_path;
  StoreStatus protection_status;
  ProtectionSettings protection;
  StoreStatus lock_wait_status;
  int lock_wait_seconds = kDefaultLockWaitSeconds;
  StoreStatus ssh_host_key_path_status;
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
[[nodiscard]] StoreStatus ReadKdfCosts(StoreContext& context, KdfCosts& costs);
// ReadKdfCosts and the readers below take their part of the settings in
// force in `context` (StoreContext::GetSettings).

// Stores in `path` the host key's path (ENCRYPT_HOST_KEY_PATH, else the
// platform default). Returns kOk, or kBadConfiguration when the
// configuration file is broken or no path can be named.
[[nodiscard]] StoreStatus ReadHostKeyPath(StoreContext& context, std::string& path);

// Stores in `path` the OpenSSH host key import tries (SSH_HOST_KEY_PATH,
// else the platform default, platform::DefaultSshHostKeyPath) and in
// `configured` whether the configuration names it. Returns kOk, or
// kBadConfiguration when the configuration file is broken or no path can
// be named.
[[nodiscard]] StoreStatus ReadSshHostKeyPath(StoreContext& context, std::string& path,
                                             bool& configured);

// Stores in `settings` how the host key is protected
// (ENCRYPT_HOST_KEY_PROTECTION: file, the default, tpm2 or dpapi), the TCTI
// of the TPM (ENCRYPT_TPM2_TCTI, default the kernel's resource manager) and
// the PCRs new seals are bound to (ENCRYPT_TPM2_PCRS: indexes 0 to 23
// separated by commas, default none) and the longest wait for one TPM
// exchange (ENCRYPT_TPM2_TIMEOUT_MS: 1 to 600000, default 5000). Returns
// kOk, or kBadConfiguration
// when the configuration file is broken or a value is unknown; `settings`
// is untouched then.
[[nodiscard]] StoreStatus ReadProtectionSettings(StoreContext& context,
                                                 ProtectionSettings& settings);

// Stores in `seconds` how long a writer waits for a store's writers' lock
// before it gives up (ENCRYPT_LOCK_WAIT_SECONDS: 0 to 3600, default 30).
// Returns kOk, or kBadConfiguration when the configuration file is broken
// or the value is out of range; `seconds` is untouched then.
[[nodiscard]] StoreStatus ReadLockWaitSeconds(StoreContext& context, int& seconds);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_STORESETTINGS_H_
