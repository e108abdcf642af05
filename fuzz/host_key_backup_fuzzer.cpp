// Runs the host key backup's reader on arbitrary bytes: size, magic,
// version and cost checks, the key check and the authenticated unwrap.
// Beyond the sanitizers it checks that a refusal leaves the key untouched
// and names one of the documented statuses.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sodium.h>

#include "host/EnDecrypt.h"
#include "host/Log.h"
#include "suite/endecrypt/HostKeyBackup.h"
#include "suite/endecrypt/SecureBuffer.h"

namespace {

using namespace endecrypt;

constexpr char kPassphrase[] = "vector passphrase";
// Where the header keeps its costs: after the magic and the version.
constexpr std::size_t kOpsLimitOffset = kBackupMagicSize + 1;
constexpr std::size_t kMemLimitOffset = kOpsLimitOffset + 4;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Argon2id at a real backup's costs takes most of a second an input; costs
// above the format's minimum are lowered to it, so the fuzzer's time goes to
// the parsing. (The header is authenticated, so such an input is refused
// after the key check either way.)
void LowerCosts(std::vector<unsigned char>& bytes) {
  if (bytes.size() < kMemLimitOffset + 8) return;
  std::uint32_t ops = 0;
  std::uint64_t mem = 0;
  for (int i = 0; i < 4; ++i) ops |= std::uint32_t{bytes[kOpsLimitOffset + i]} << (8 * i);
  for (int i = 0; i < 8; ++i) mem |= std::uint64_t{bytes[kMemLimitOffset + i]} << (8 * i);
  if (ops > kMinOpsLimit && ops <= kMaxOpsLimit) {
    for (int i = 0; i < 4; ++i) bytes[kOpsLimitOffset + i] = (kMinOpsLimit >> (8 * i)) & 0xFF;
  }
  if (mem > kMinMemLimit && mem <= kMaxMemLimit) {
    for (int i = 0; i < 8; ++i) bytes[kMemLimitOffset + i] = (kMinMemLimit >> (8 * i)) & 0xFF;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ZUdurov::Log::SetLogFile("");
  // Guarded memory needs the library started, as the store does first.
  Check(sodium_init() >= 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<unsigned char> bytes(data, data + size);
  LowerCosts(bytes);
  SecureBuffer key;
  const StoreStatus result = UnwrapHostKey(bytes.data(), bytes.size(), kPassphrase, key);
  if (result != endecrypt_status::kOk) {
    Check(result == endecrypt_status::kInvalidFile ||
          result == endecrypt_status::kWrongPassphrase || result == endecrypt_status::kInternal);
    Check(key.size() == 0);
    return 0;
  }
  Check(key.size() == kHostKeySize);
  return 0;
}
