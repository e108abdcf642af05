#include "suite/age/AgeInternal.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace age {
namespace {

// Human-readable parts, compared in lower case as Bech32 decodes them.
constexpr std::string_view kIdentityHrp = "age-secret-key-";
constexpr std::string_view kRecipientHrp = "age";

// The kKeySize bytes Bech32-encoded in `text` under `hrp`, into `key`.
bool DecodeKey(std::string_view text, std::string_view hrp, WipedBytes& key) {
  std::string decoded_hrp;
  WipedBytes values;
  return DecodeBech32(text, decoded_hrp, values) && decoded_hrp == hrp &&
         RegroupBits(values.data(), values.size(), 5, 8, key) && key.size() == kKeySize;
}

void EncodeKey(std::string_view hrp, const unsigned char* key, SecretString& text) {
  WipedBytes values;
  if (RegroupBits(key, kKeySize, 8, 5, values)) EncodeBech32(hrp, values, text);
}

// Calls `parse` on every line of a key file that holds a key, with the
// line's number; stops at the first refusal.
template <typename Parse>
AgeStatus ForEachKeyLine(std::string_view text, std::size_t* bad_line, Parse parse) {
  std::size_t number = 0;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!line.empty() && blank(line.front())) line.remove_prefix(1);
    while (!line.empty() && blank(line.back())) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const AgeStatus status = parse(line);
    if (status != AgeStatus::kOk) {
      if (bad_line != nullptr) *bad_line = number;
      return status;
    }
  }
  return AgeStatus::kOk;
}

}  // namespace

AgeStatus MakeIdentityFromSeed(const unsigned char* seed, Identity& identity) {
  Identity made;
  if (!SodiumReady() || !made.secret_key.Allocate(kKeySize)) return AgeStatus::kInternal;
  std::memcpy(made.secret_key.data(), seed, kKeySize);
  // X25519 clamps the secret key itself, so any 32 bytes are a key.
  if (crypto_scalarmult_base(made.recipient.public_key.data(), made.secret_key.data()) != 0) {
    return AgeStatus::kInternal;
  }
  identity = std::move(made);
  return AgeStatus::kOk;
}

AgeStatus ParseIdentity(std::string_view text, Identity& identity) {
  if (!SodiumReady()) return AgeStatus::kInternal;
  WipedBytes key;
  if (!DecodeKey(text, kIdentityHrp, key)) return AgeStatus::kMalformedKey;
  return MakeIdentityFromSeed(key.data(), identity);
}

AgeStatus FormatIdentity(const Identity& identity, SecretString& text) {
  if (identity.secret_key.size() != kKeySize) return AgeStatus::kNoKeys;
  SecretString encoded;
  EncodeKey(kIdentityHrp, identity.secret_key.data(), encoded);
  // Identities are written in upper case, as age-keygen writes them.
  for (char& c : encoded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  text = std::move(encoded);
  return AgeStatus::kOk;
}

AgeStatus ParseRecipient(std::string_view text, Recipient& recipient) {
  // An OpenSSH key line starts with its type: ssh-..., ecdsa-... or sk-...
  for (const std::string_view prefix : {"ssh-", "ecdsa-", "sk-"}) {
    if (StartsWith(text, prefix)) return ParseSshPublicKey(text, recipient);
  }
  WipedBytes key;
  if (!DecodeKey(text, kRecipientHrp, key)) return AgeStatus::kMalformedKey;
  std::copy(key.begin(), key.end(), recipient.public_key.begin());
  return AgeStatus::kOk;
}

std::string FormatRecipient(const Recipient& recipient) {
  if (recipient.type == KeyType::kSshEd25519) return FormatSshRecipient(recipient);
  SecretString text;
  EncodeKey(kRecipientHrp, recipient.public_key.data(), text);
  return std::string(text);
}

std::string FormatRecipient(const Identity& identity) {
  return FormatRecipient(identity.recipient);
}

AgeStatus ParseIdentityFile(std::string_view text, std::vector<Identity>& identities,
                            std::size_t* bad_line) {
  std::vector<Identity> parsed;
  if (IsSshPrivateKey(text)) {
    Identity identity;
    const AgeStatus status = ParseSshPrivateKey(text, identity);
    if (status != AgeStatus::kOk) return status;
    identities.clear();
    identities.push_back(std::move(identity));
    return AgeStatus::kOk;
  }
  const AgeStatus status = ForEachKeyLine(text, bad_line, [&parsed](std::string_view line) {
    // Refused before the key is parsed: each costs an X25519 multiplication.
    if (parsed.size() == kMaxIdentities) return AgeStatus::kTooManyIdentities;
    Identity identity;
    const AgeStatus parsed_line = ParseIdentity(line, identity);
    if (parsed_line == AgeStatus::kOk) parsed.push_back(std::move(identity));
    return parsed_line;
  });
  if (status != AgeStatus::kOk) return status;
  if (parsed.empty()) return AgeStatus::kNoKeys;
  identities = std::move(parsed);
  return AgeStatus::kOk;
}

AgeStatus ParseRecipientsFile(std::string_view text, std::vector<Recipient>& recipients,
                              std::size_t* bad_line) {
  std::vector<Recipient> parsed;
  const AgeStatus status = ForEachKeyLine(text, bad_line, [&parsed](std::string_view line) {
    Recipient recipient;
    const AgeStatus parsed_line = ParseRecipient(line, recipient);
    if (parsed_line == AgeStatus::kOk) parsed.push_back(recipient);
    return parsed_line;
  });
  if (status != AgeStatus::kOk) return status;
  if (parsed.empty()) return AgeStatus::kNoKeys;
  recipients = std::move(parsed);
  return AgeStatus::kOk;
}

}  // namespace age
