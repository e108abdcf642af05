#include "suite/endecrypt/StoreSettings.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "host/GlobalConfig.h"
#include "host/HostKeyProtection.h"
#include "host/StoreVocabulary.h"
#include "suite/endecrypt/StoreContext.h"
#include "suite/platform/SystemPlaces.h"

namespace endecrypt {
namespace {

constexpr char kOpsLimitKey[] = "ENCRYPT_KDF_OPSLIMIT";
constexpr char kMemLimitKey[] = "ENCRYPT_KDF_MEMLIMIT";
constexpr char kHostKeyPathKey[] = "ENCRYPT_HOST_KEY_PATH";
constexpr char kSshHostKeyPathKey[] = "SSH_HOST_KEY_PATH";
constexpr char kProtectionKey[] = "ENCRYPT_HOST_KEY_PROTECTION";
constexpr char kTctiKey[] = "ENCRYPT_TPM2_TCTI";
constexpr char kPcrsKey[] = "ENCRYPT_TPM2_PCRS";
constexpr char kTpmTimeoutKey[] = "ENCRYPT_TPM2_TIMEOUT_MS";
constexpr char kDefaultTcti[] = "device:/dev/tpmrm0";

// A TPM answers in milliseconds, a busy one (key generation) in about a
// second; one silent for longer is not coming back.
constexpr std::uint64_t kDefaultTpmTimeoutMs = 5000;
constexpr std::uint64_t kMaxTpmTimeoutMs = 600000;
constexpr char kLockWaitKey[] = "ENCRYPT_LOCK_WAIT_SECONDS";
constexpr std::uint64_t kMaxLockWaitSeconds = 3600;

enum class Setting { kSet, kUnset, kBroken };

// A file that exists but cannot be read or parsed is not the same as a
// setting left out: falling back to defaults then could, for the host key,
// seal new stores under a key nobody meant to use.
Setting FindSetting(const char* key, std::string& text) {
  switch (ZUdurov::GlobalConfig::GetConfigItem(key, text)) {
    case ZUdurov::GlobalConfig::kOk: return Setting::kSet;
    case ZUdurov::GlobalConfig::kUnreadable:
    case ZUdurov::GlobalConfig::kMalformed:
    case ZUdurov::GlobalConfig::kNamedFileMissing: return Setting::kBroken;
    default: return Setting::kUnset;
  }
}

// Reads the setting `key` into `value`, or `fallback` when it is not set.
// False when the configuration is broken or the value is not a whole
// number within [low, high].
bool ReadNumber(const char* key, std::uint64_t fallback, std::uint64_t low, std::uint64_t high,
                std::uint64_t& value) {
  std::string text;
  switch (FindSetting(key, text)) {
    case Setting::kBroken: return false;
    case Setting::kUnset: value = fallback; return true;
    case Setting::kSet: break;
  }
  std::uint64_t parsed = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, parsed);
  if (error != std::errc() || stop != end || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

// Parses a list of PCR indexes such as "0,7" into a mask. False on an
// empty item, a non-number or an index past kMaxPcrIndex.
bool ParsePcrs(const std::string& text, std::uint32_t& mask) {
  std::uint32_t parsed = 0;
  const char* item = text.data();
  const char* end = text.data() + text.size();
  while (item < end) {
    unsigned index = 0;
    const auto [stop, error] = std::from_chars(item, end, index);
    if (error != std::errc() || index > kMaxPcrIndex || (stop != end && *stop != ',')) {
      return false;
    }
    parsed |= std::uint32_t{1} << index;
    item = stop == end ? end : stop + 1;
    if (stop != end && item == end) return false;  // a trailing comma
  }
  mask = parsed;
  return true;
}

StoreStatus ReadCostsSetting(KdfCosts& costs) {
  std::uint64_t opslimit = 0;
  std::uint64_t memlimit = 0;
  if (!ReadNumber(kOpsLimitKey, kDefaultOpsLimit, kMinOpsLimit, kMaxOpsLimit, opslimit) ||
      !ReadNumber(kMemLimitKey, kDefaultMemLimit, kMinMemLimit, kMaxMemLimit, memlimit)) {
    return endecrypt_status::kBadConfiguration;
  }
  costs.opslimit = static_cast<std::uint32_t>(opslimit);
  costs.memlimit = memlimit;
  return endecrypt_status::kOk;
}

StoreStatus ReadHostKeyPathSetting(std::string& path) {
  std::string configured;
  switch (FindSetting(kHostKeyPathKey, configured)) {
    case Setting::kBroken: return endecrypt_status::kBadConfiguration;
    case Setting::kUnset: configured = platform::DefaultHostKeyPath(); break;
    case Setting::kSet: break;
  }
  if (configured.empty()) return endecrypt_status::kBadConfiguration;
  path = std::move(configured);
  return endecrypt_status::kOk;
}

StoreStatus ReadSshHostKeyPathSetting(std::string& path, bool& configured) {
  std::string named;
  switch (FindSetting(kSshHostKeyPathKey, named)) {
    case Setting::kBroken: return endecrypt_status::kBadConfiguration;
    case Setting::kUnset: named = platform::DefaultSshHostKeyPath(); break;
    case Setting::kSet: configured = true; break;
  }
  if (named.empty()) return endecrypt_status::kBadConfiguration;
  path = std::move(named);
  return endecrypt_status::kOk;
}

StoreStatus ReadProtectionSetting(ProtectionSettings& settings) {
  ProtectionSettings read;
  read.tpm2_tcti = kDefaultTcti;
  std::string text;
  switch (FindSetting(kProtectionKey, text)) {
    case Setting::kBroken: return endecrypt_status::kBadConfiguration;
    case Setting::kUnset: break;
    case Setting::kSet: {
      if (!ParseProtectionName(text, read.protection)) return endecrypt_status::kBadConfiguration;
    }
  }
  switch (FindSetting(kTctiKey, text)) {
    case Setting::kBroken: return endecrypt_status::kBadConfiguration;
    case Setting::kUnset: break;
    case Setting::kSet: read.tpm2_tcti = text; break;
  }
  switch (FindSetting(kPcrsKey, text)) {
    case Setting::kBroken: return endecrypt_status::kBadConfiguration;
    case Setting::kUnset: break;
    case Setting::kSet:
      if (!ParsePcrs(text, read.tpm2_pcrs)) return endecrypt_status::kBadConfiguration;
  }
  std::uint64_t timeout_ms = 0;
  if (!ReadNumber(kTpmTimeoutKey, kDefaultTpmTimeoutMs, 1, kMaxTpmTimeoutMs, timeout_ms)) {
    return endecrypt_status::kBadConfiguration;
  }
  read.tpm2_timeout_ms = static_cast<int>(timeout_ms);
  settings = std::move(read);
  return endecrypt_status::kOk;
}

StoreStatus ReadLockWaitSetting(int& seconds) {
  std::uint64_t read = 0;
  if (!ReadNumber(kLockWaitKey, static_cast<std::uint64_t>(kDefaultLockWaitSeconds), 0,
                  kMaxLockWaitSeconds, read)) {
    return endecrypt_status::kBadConfiguration;
  }
  seconds = static_cast<int>(read);
  return endecrypt_status::kOk;
}

}  // namespace

bool ParseProtectionName(const std::string& name, Protection& protection) {
  for (std::size_t i = 0; i < std::size(kHostKeyProtectionNames); ++i) {
    if (name == kHostKeyProtectionNames[i]) {
      protection = static_cast<Protection>(i);
      return true;
    }
  }
  return false;
}

const char* GetProtectionName(Protection protection) {
  return static_cast<std::size_t>(protection) < std::size(kHostKeyProtectionNames)
             ? GetHostKeyProtectionName(protection)
             : "unknown";
}

StoreSettings ReadStoreSettings() {
  StoreSettings settings;
  settings.costs_status = ReadCostsSetting(settings.costs);
  settings.host_key_path_status = ReadHostKeyPathSetting(settings.host_key_path);
  settings.protection_status = ReadProtectionSetting(settings.protection);
  settings.lock_wait_status = ReadLockWaitSetting(settings.lock_wait_seconds);
  settings.ssh_host_key_path_status =
      ReadSshHostKeyPathSetting(settings.ssh_host_key_path, settings.ssh_host_key_configured);
  return settings;
}

StoreStatus ReadKdfCosts(StoreContext& context, KdfCosts& costs) {
  const StoreSettings settings = context.GetSettings();
  if (settings.costs_status == endecrypt_status::kOk) costs = settings.costs;
  return settings.costs_status;
}

StoreStatus ReadHostKeyPath(StoreContext& context, std::string& path) {
  StoreSettings settings = context.GetSettings();
  if (settings.host_key_path_status == endecrypt_status::kOk) {
    path = std::move(settings.host_key_path);
  }
  return settings.host_key_path_status;
}

StoreStatus ReadSshHostKeyPath(StoreContext& context, std::string& path, bool& configured) {
  StoreSettings settings = context.GetSettings();
  if (settings.ssh_host_key_path_status == endecrypt_status::kOk) {
    path = std::move(settings.ssh_host_key_path);
    configured = settings.ssh_host_key_configured;
  }
  return settings.ssh_host_key_path_status;
}

StoreStatus ReadProtectionSettings(StoreContext& context, ProtectionSettings& settings) {
  StoreSettings current = context.GetSettings();
  if (current.protection_status == endecrypt_status::kOk) {
    settings = std::move(current.protection);
  }
  return current.protection_status;
}

StoreStatus ReadLockWaitSeconds(StoreContext& context, int& seconds) {
  const StoreSettings settings = context.GetSettings();
  if (settings.lock_wait_status == endecrypt_status::kOk) seconds = settings.lock_wait_seconds;
  return settings.lock_wait_status;
}

}  // namespace endecrypt
