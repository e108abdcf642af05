#include "suite/globalconfig/KnownKeys.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string>
#include <vector>

namespace ZUdurov {
namespace {

constexpr const char* kKnownKeys[] = {
    "ENCRYPT_SETTING_PATH",        "ENCRYPTED_CREDENTIALS_FILE_PATH",
    "ENCRYPT_HOST_KEY_PATH",       "ENCRYPT_HOST_KEY_PROTECTION",
    "ENCRYPT_TPM2_TCTI",           "ENCRYPT_TPM2_PCRS",
    "ENCRYPT_TPM2_TIMEOUT_MS",     "ENCRYPT_KDF_MEMLIMIT",
    "ENCRYPT_KDF_OPSLIMIT",        "ENCRYPT_LOCK_WAIT_SECONDS",
    "LOG_FILE",                    "LOG_LEVEL",
    "SSH_HOST_KEY_PATH",           "CREDENTIALS_POLICY_FILE",
    "AUDIT_LOG",                   "AUDIT_REQUIRED"};

// A key this many times as long as its distance to a known one is taken
// for a slip of the hand.
constexpr std::size_t kLettersPerSlip = 3;

// Levenshtein distance, case-insensitive: a key written in lower case is
// a slip too.
std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const bool same = std::toupper(static_cast<unsigned char>(a[i - 1])) ==
                        std::toupper(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

bool IsKnownKey(const std::string& key) {
  return std::find(std::begin(kKnownKeys), std::end(kKnownKeys), key) != std::end(kKnownKeys);
}

std::string GetNearestKnownKey(const std::string& key) {
  std::string nearest;
  std::size_t best = key.size() / kLettersPerSlip + 1;
  for (const char* known : kKnownKeys) {
    const std::size_t distance = Distance(key, known);
    if (distance < best) {
      best = distance;
      nearest = known;
    }
  }
  return nearest;
}

}  // namespace ZUdurov
