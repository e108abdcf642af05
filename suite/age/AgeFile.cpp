#include "suite/age/AgeInternal.h"

#include <sodium.h>

#include <utility>

namespace age {
namespace {

constexpr std::string_view kScryptType = "scrypt";

// The kind of identity that can open `stanza`; false for a stanza of a
// type no identity here opens.
bool KindOf(const Stanza& stanza, KeyType& kind) {
  for (const KeyType type : {KeyType::kX25519, KeyType::kSshEd25519}) {
    if (stanza.args[0] == StanzaType(type)) {
      kind = type;
      return true;
    }
  }
  return false;
}

// Tries every identity on every stanza of its kind until one opens; stops
// at a low-order share, whichever identity meets it.
AgeStatus FindFileKey(const std::vector<Stanza>& stanzas, const std::vector<Identity>& identities,
                      unsigned char* file_key) {
  for (const Stanza& stanza : stanzas) {
    KeyType kind = KeyType::kX25519;
    if (!KindOf(stanza, kind)) continue;
    for (const Identity& identity : identities) {
      if (identity.recipient.type != kind) continue;
      const AgeStatus status = UnwrapFileKey(stanza, identity, file_key);
      if (status != AgeStatus::kNoMatchingIdentity) return status;
    }
  }
  return AgeStatus::kNoMatchingIdentity;
}

}  // namespace

bool SodiumReady() { return sodium_init() >= 0; }

// The phrases of the bounds below name their values: change both together.
static_assert(kMaxHeaderSize == std::size_t{1} << 20 && kMaxHeaderLineSize == 4096 &&
              kMaxStanzaArguments == 8 && kMaxIdentities == 256 && kMaxUnwrapAttempts == 4096);

const char* DescribeStatus(AgeStatus status) {
  switch (status) {
    case AgeStatus::kOk: return "success";
    case AgeStatus::kNotAgeFile: return "not an age file";
    case AgeStatus::kUnsupportedVersion: return "an age format version other than v1";
    case AgeStatus::kMalformedHeader: return "malformed age header";
    case AgeStatus::kMalformedStanza: return "malformed recipient stanza";
    case AgeStatus::kBadBase64: return "invalid or non-canonical base64";
    case AgeStatus::kBadArmor: return "malformed ASCII armor";
    case AgeStatus::kHeaderMacMismatch: return "header MAC mismatch: the header was altered";
    case AgeStatus::kNoMatchingIdentity: return "no identity matches a recipient of the file";
    case AgeStatus::kLowOrderShare: return "low-order X25519 key";
    case AgeStatus::kBadChunk: return "payload chunk failed authentication";
    case AgeStatus::kTruncated: return "file ends early";
    case AgeStatus::kEmptyLastChunk: return "empty final chunk after a full one";
    case AgeStatus::kTrailingData: return "data after the final chunk";
    case AgeStatus::kScryptUnsupported: return "passphrase (scrypt) age files are not supported";
    case AgeStatus::kTooLarge: return "beyond the size limits";
    case AgeStatus::kHeaderTooLarge: return "age header larger than 1 MiB";
    case AgeStatus::kHeaderLineTooLong: return "age header line longer than 4096 bytes";
    case AgeStatus::kTooManyArguments: return "recipient stanza with more than 8 arguments";
    case AgeStatus::kTooManyIdentities: return "more than 256 identities";
    case AgeStatus::kTooManyUnwraps:
      return "more than 4096 tries of an identity on a recipient stanza";
    case AgeStatus::kMalformedKey: return "not an age identity or recipient";
    case AgeStatus::kSshRsaUnsupported:
      return "ssh-rsa recipients are not supported: use an ssh-ed25519 key or an age1 recipient";
    case AgeStatus::kSshKeyWrongType: return "an OpenSSH key of another type than ssh-ed25519";
    case AgeStatus::kSshKeyTruncated: return "the OpenSSH key ends early";
    case AgeStatus::kSshKeySeveral: return "the OpenSSH key file holds more than one key";
    case AgeStatus::kSshKeyEncrypted:
      return "the key is passphrase-protected; decrypt a copy with ssh-keygen -p";
    case AgeStatus::kSshKeyBadPadding: return "the OpenSSH private key's padding is wrong";
    case AgeStatus::kSshKeyCheckMismatch:
      return "the OpenSSH private key's check numbers differ (damaged or encrypted)";
    case AgeStatus::kMalformedSshKey: return "malformed OpenSSH key";
    case AgeStatus::kNoKeys: return "no identity or recipient";
    case AgeStatus::kInternal: return "crypto library or memory failure";
  }
  return "unknown age status";
}

// Every header written here is one read here: kMaxStanzas ssh-ed25519
// stanzas of 110 bytes ("-> ssh-ed25519 ", the tag, the share, the body,
// each line with its line feed; an X25519 one takes 98), the version line
// and the MAC line within kMaxHeaderSize.
static_assert(kMaxStanzas * 110 + 128 <= kMaxHeaderSize);

AgeStatus EncryptToRecipients(const std::vector<Recipient>& recipients,
                              const unsigned char* plaintext, std::size_t size, bool armor,
                              std::vector<unsigned char>& file) {
  if (recipients.empty()) return AgeStatus::kNoKeys;
  if (size > kMaxPlaintextSize || recipients.size() > kMaxStanzas) return AgeStatus::kTooLarge;
  SecretBytes file_key;
  if (!SodiumReady() || !file_key.Allocate(kFileKeySize)) return AgeStatus::kInternal;
  randombytes_buf(file_key.data(), kFileKeySize);
  Header header;
  for (const Recipient& recipient : recipients) {
    Stanza stanza;
    const AgeStatus status = WrapFileKey(recipient, file_key.data(), stanza);
    if (status != AgeStatus::kOk) return status;
    header.stanzas.push_back(std::move(stanza));
  }
  const std::string start = EncodeHeaderStart(header.stanzas);
  if (!ComputeHeaderMac(file_key.data(), reinterpret_cast<const unsigned char*>(start.data()),
                        start.size(), header.mac)) {
    return AgeStatus::kInternal;
  }
  const std::string text = EncodeHeader(header);
  std::vector<unsigned char> binary(text.begin(), text.end());
  if (!SealPayload(file_key.data(), plaintext, size, binary)) return AgeStatus::kInternal;
  if (armor) {
    std::vector<unsigned char> armored;
    Armor(binary, armored);
    binary = std::move(armored);
  }
  file = std::move(binary);
  return AgeStatus::kOk;
}

AgeStatus DecryptWithIdentities(const std::vector<Identity>& identities, const unsigned char* file,
                                std::size_t size, SecretBytes& plaintext) {
  if (identities.empty()) return AgeStatus::kNoKeys;
  if (identities.size() > kMaxIdentities) return AgeStatus::kTooManyIdentities;
  for (const Identity& identity : identities) {
    if (identity.secret_key.size() != kKeySize) return AgeStatus::kNoKeys;
  }
  if (size > kMaxFileSize) return AgeStatus::kTooLarge;
  if (!SodiumReady()) return AgeStatus::kInternal;
  std::vector<unsigned char> dearmored;
  if (IsArmored(file, size)) {
    const AgeStatus status = Dearmor(file, size, dearmored);
    if (status != AgeStatus::kOk) return status;
    file = dearmored.data();
    size = dearmored.size();
  }
  Header header;
  AgeStatus status = ParseHeader(file, size, header);
  if (status != AgeStatus::kOk) return status;
  // A passphrase stanza is refused wherever it stands; the stanzas
  // identities here open are all checked before any is tried, so a
  // malformed one is refused even when another would open.
  for (const Stanza& stanza : header.stanzas) {
    if (stanza.args[0] == kScryptType) return AgeStatus::kScryptUnsupported;
  }
  std::size_t tries = 0;
  for (const Stanza& stanza : header.stanzas) {
    KeyType kind = KeyType::kX25519;
    if (!KindOf(stanza, kind)) continue;
    status = CheckStanza(stanza);
    if (status != AgeStatus::kOk) return status;
    for (const Identity& identity : identities) tries += identity.recipient.type == kind ? 1 : 0;
  }
  // Refused before any is tried, whichever would open: the bound on time
  // holds for every file, not only for those no identity opens.
  if (tries > kMaxUnwrapAttempts) return AgeStatus::kTooManyUnwraps;
  SecretBytes file_key;
  if (!file_key.Allocate(kFileKeySize)) return AgeStatus::kInternal;
  status = FindFileKey(header.stanzas, identities, file_key.data());
  if (status != AgeStatus::kOk) return status;
  unsigned char mac[kMacSize];
  if (!ComputeHeaderMac(file_key.data(), file, header.mac_input_size, mac)) {
    return AgeStatus::kInternal;
  }
  if (crypto_verify_32(mac, header.mac) != 0) return AgeStatus::kHeaderMacMismatch;
  return OpenPayload(file_key.data(), file + header.size, size - header.size, plaintext);
}

}  // namespace age
