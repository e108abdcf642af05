// Runs the age library's readers on arbitrary bytes: the header parser and
// the armor decoder, which see a file before anything in it is
// authenticated, then the whole decryption with a fixed identity, the one
// scripts/fuzz.sh encrypts its seeds to. Beyond the sanitizers it checks
// that a header that parses encodes back to the same bytes and keeps to
// the header's bounds (size, stanzas, arguments, line length), that decoded
// armor armors again into text that decodes to the same bytes, and that a
// refusal leaves the output untouched.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "suite/age/AgeFormat.h"
#include "suite/age/AgeInternal.h"

namespace {

using namespace age;

constexpr unsigned char kUntouched = 0x5a;

void Check(bool condition) {
  if (!condition) std::abort();
}

// The example identity of the format's description, 32 bytes of 0x42:
// age1zvkyg2lqzraa2lnjvqej32nkuu0ues2s82hzrye869xeexvn73equnujwj.
const std::vector<Identity>& FuzzIdentities() {
  static const std::vector<Identity> identities = [] {
    std::vector<Identity> made(1);
    const std::vector<unsigned char> seed(kKeySize, 0x42);
    Check(MakeIdentityFromSeed(seed.data(), made[0]) == AgeStatus::kOk);
    return made;
  }();
  return identities;
}

void CheckHeader(const uint8_t* data, size_t size) {
  Header header;
  if (ParseHeader(data, size, header) != AgeStatus::kOk) return;
  const std::string encoded = EncodeHeader(header);
  Check(encoded.size() == header.size && std::memcmp(encoded.data(), data, header.size) == 0);
  Check(EncodeHeaderStart(header.stanzas).size() == header.mac_input_size);
  Check(!header.stanzas.empty() && header.stanzas.size() <= kMaxStanzas);
  Check(header.size <= kMaxHeaderSize);
  for (const Stanza& stanza : header.stanzas) {
    Check(!stanza.args.empty() && stanza.args.size() <= kMaxStanzaArguments);
    for (const std::string& arg : stanza.args) Check(arg.size() + 3 <= kMaxHeaderLineSize);
  }
}

void CheckArmor(const uint8_t* data, size_t size) {
  std::vector<unsigned char> binary{kUntouched};
  if (Dearmor(data, size, binary) != AgeStatus::kOk) {
    Check(binary.size() == 1 && binary[0] == kUntouched);
    return;
  }
  Check(!binary.empty() && IsArmored(data, size));
  std::vector<unsigned char> armored;
  std::vector<unsigned char> again;
  Armor(binary, armored);
  Check(Dearmor(armored.data(), armored.size(), again) == AgeStatus::kOk && again == binary);
}

void CheckDecrypt(const uint8_t* data, size_t size) {
  SecretBytes plaintext;
  Check(plaintext.Allocate(1));
  plaintext.data()[0] = kUntouched;
  const AgeStatus status = DecryptWithIdentities(FuzzIdentities(), data, size, plaintext);
  Check(DescribeStatus(status) != nullptr);
  if (status != AgeStatus::kOk) Check(plaintext.size() == 1 && plaintext.data()[0] == kUntouched);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckHeader(data, size);
  CheckArmor(data, size);
  CheckDecrypt(data, size);
  return 0;
}
