#include "suite/endecrypt/StoreSettings.h"

#include <charconv>
#include <cstdint>

#include "host/EnDecrypt.h"
#include "host/GlobalConfig.h"
#include "suite/endecrypt/StoreFiles.h"
#include "suite/endecrypt/StoreFormat.h"

namespace endecrypt {
namespace {

constexpr char kOpsLimitKey[] = "ENCRYPT_KDF_OPSLIMIT";
constexpr char kMemLimitKey[] = "ENCRYPT_KDF_MEMLIMIT";
constexpr char kHostKeyPathKey[] = "ENCRYPT_HOST_KEY_PATH";

constexpr std::uint32_t kDefaultOpsLimit = 3;
constexpr std::uint64_t kDefaultMemLimit = std::uint64_t{256} << 20;  // 256 MiB

enum class Setting { kSet, kUnset, kBroken };

// A file that exists but cannot be read or parsed is not the same as a
// setting left out: falling back to defaults then could, for the host key,
// seal new stores under a key nobody meant to use.
Setting FindSetting(const char* key, std::string& text) {
  switch (ZUdurov::GlobalConfig::GetConfigItem(key, text)) {
    case ZUdurov::GlobalConfig::kOk: return Setting::kSet;
    case ZUdurov::GlobalConfig::kUnreadable:
    case ZUdurov::GlobalConfig::kMalformed: return Setting::kBroken;
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

}  // namespace

int ReadKdfCosts(KdfCosts& costs) {
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

int ReadHostKeyPath(std::string& path) {
  std::string configured;
  switch (FindSetting(kHostKeyPathKey, configured)) {
    case Setting::kBroken: return endecrypt_status::kBadConfiguration;
    case Setting::kUnset: configured = DefaultHostKeyPath(); break;
    case Setting::kSet: break;
  }
  if (configured.empty()) return endecrypt_status::kBadConfiguration;
  path = std::move(configured);
  return endecrypt_status::kOk;
}

}  // namespace endecrypt
