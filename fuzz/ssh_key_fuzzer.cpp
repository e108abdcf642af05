// Runs the age library's OpenSSH key readers on arbitrary bytes: the
// public key line a recipient may be given as, and the private key
// container an identity file may be. Beyond the sanitizers it checks that
// a refusal leaves its output untouched, that a key read formats to a line
// that reads back to the same recipient, and that a private key's
// recipient is the X25519 form of its Ed25519 public key.
#include <sodium.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "suite/age/AgeFormat.h"

namespace {

using namespace age;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckPublicLine(std::string_view text) {
  Recipient recipient;
  recipient.public_key.fill(0x5a);
  if (ParseSshPublicKey(text, recipient) != AgeStatus::kOk) {
    Check(recipient.type == KeyType::kX25519 && recipient.public_key[0] == 0x5a);
    return;
  }
  Recipient again;
  Check(ParseRecipient(FormatRecipient(recipient), again) == AgeStatus::kOk);
  Check(again.type == KeyType::kSshEd25519 && again.ssh_key == recipient.ssh_key &&
        again.public_key == recipient.public_key);
}

void CheckPrivateKey(std::string_view text) {
  std::vector<Identity> identities(2);
  const AgeStatus status = ParseIdentityFile(text, identities);
  Check(DescribeStatus(status) != nullptr);
  if (status != AgeStatus::kOk) {
    Check(identities.size() == 2);
    return;
  }
  if (identities[0].recipient.type != KeyType::kSshEd25519) return;
  Check(identities.size() == 1 && identities[0].secret_key.size() == kKeySize);
  unsigned char derived[kKeySize];
  Check(crypto_scalarmult_base(derived, identities[0].secret_key.data()) == 0);
  Check(sodium_memcmp(derived, identities[0].recipient.public_key.data(), kKeySize) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckPublicLine(text);
  CheckPrivateKey(text);
  return 0;
}
