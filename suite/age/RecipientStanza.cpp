#include "suite/age/AgeInternal.h"

#include <sodium.h>

#include <cstring>
#include <utility>

namespace age {
namespace {

static_assert(kKeySize == crypto_scalarmult_BYTES && kKeySize == crypto_scalarmult_SCALARBYTES);
constexpr std::size_t kBodySize = kFileKeySize + crypto_aead_chacha20poly1305_ietf_ABYTES;
constexpr std::size_t kSshTagSize = 4;
constexpr std::string_view kX25519Info = "age-encryption.org/v1/X25519";
constexpr std::string_view kSshEd25519Info = "age-encryption.org/v1/ssh-ed25519";
// Each wrap key seals one file key only, so the nonce is fixed.
constexpr unsigned char kWrapNonce[crypto_aead_chacha20poly1305_ietf_NPUBBYTES] = {};

// The ssh-ed25519 stanza's tweak of the agreed secret: the secret is
// multiplied by HKDF(ikm = empty, salt = the key's wire form, info).
AgeStatus TweakSharedSecret(const Recipient& recipient, unsigned char* shared) {
  unsigned char wire[kSshWireKeySize];
  unsigned char tweak[crypto_scalarmult_SCALARBYTES];
  unsigned char tweaked[crypto_scalarmult_BYTES];
  EncodeSshWireKey(recipient.ssh_key.data(), wire);
  const unsigned char no_ikm = 0;
  AgeStatus status = AgeStatus::kInternal;
  if (DeriveHkdfSha256(&no_ikm, 0, wire, sizeof wire, kSshEd25519Info, tweak, sizeof tweak)) {
    status = crypto_scalarmult(tweaked, tweak, shared) == 0 ? AgeStatus::kOk
                                                            : AgeStatus::kLowOrderShare;
    std::memcpy(shared, tweaked, sizeof tweaked);
  }
  sodium_memzero(tweak, sizeof tweak);
  sodium_memzero(tweaked, sizeof tweaked);
  return status;
}

// The wrap key of the secret agreed between `secret` and the point
// `agreement_point`, salted with the ephemeral share and the recipient's
// X25519 key, tweaked first for an ssh-ed25519 recipient. kOk,
// kLowOrderShare when the secret is all zeros (libsodium refuses it), or
// kInternal.
AgeStatus DeriveWrapKey(const unsigned char* secret, const unsigned char* share,
                        const unsigned char* agreement_point, const Recipient& recipient,
                        unsigned char* wrap_key) {
  const bool ssh = recipient.type == KeyType::kSshEd25519;
  unsigned char shared[crypto_scalarmult_BYTES];
  unsigned char salt[2 * kKeySize];
  AgeStatus status = crypto_scalarmult(shared, secret, agreement_point) == 0
                         ? AgeStatus::kOk
                         : AgeStatus::kLowOrderShare;
  if (status == AgeStatus::kOk && ssh) status = TweakSharedSecret(recipient, shared);
  if (status == AgeStatus::kOk) {
    std::memcpy(salt, share, kKeySize);
    std::memcpy(salt + kKeySize, recipient.public_key.data(), kKeySize);
    if (!DeriveHkdfSha256(shared, sizeof shared, salt, sizeof salt,
                          ssh ? kSshEd25519Info : kX25519Info, wrap_key,
                          crypto_aead_chacha20poly1305_ietf_KEYBYTES)) {
      status = AgeStatus::kInternal;
    }
  }
  sodium_memzero(shared, sizeof shared);
  return status;
}

}  // namespace

std::string_view StanzaType(KeyType type) {
  return type == KeyType::kSshEd25519 ? kSshEd25519Type : kX25519Type;
}

void EncodeSshWireKey(const unsigned char* ed25519_key, unsigned char* wire) {
  constexpr unsigned char kPrefix[] = {0, 0, 0, 11, 's', 's', 'h', '-', 'e', 'd', '2',
                                       '5', '5', '1', '9', 0, 0, 0, kKeySize};
  static_assert(sizeof kPrefix + kKeySize == kSshWireKeySize);
  std::memcpy(wire, kPrefix, sizeof kPrefix);
  std::memcpy(wire + sizeof kPrefix, ed25519_key, kKeySize);
}

std::string SshKeyTag(const unsigned char* ed25519_key) {
  unsigned char wire[kSshWireKeySize];
  unsigned char hash[crypto_hash_sha256_BYTES];
  EncodeSshWireKey(ed25519_key, wire);
  crypto_hash_sha256(hash, wire, sizeof wire);
  return EncodeBase64(hash, kSshTagSize);
}

AgeStatus WrapFileKey(const Recipient& recipient, const unsigned char* file_key,
                      Stanza& stanza) {
  unsigned char ephemeral[crypto_scalarmult_SCALARBYTES];
  unsigned char share[crypto_scalarmult_BYTES];
  unsigned char wrap_key[crypto_aead_chacha20poly1305_ietf_KEYBYTES];
  randombytes_buf(ephemeral, sizeof ephemeral);
  AgeStatus status = crypto_scalarmult_base(share, ephemeral) == 0
                         ? DeriveWrapKey(ephemeral, share, recipient.public_key.data(),
                                         recipient, wrap_key)
                         : AgeStatus::kInternal;
  sodium_memzero(ephemeral, sizeof ephemeral);
  if (status == AgeStatus::kOk) {
    std::vector<unsigned char> body(kBodySize);
    crypto_aead_chacha20poly1305_ietf_encrypt(body.data(), nullptr, file_key, kFileKeySize,
                                              nullptr, 0, nullptr, kWrapNonce, wrap_key);
    stanza.args = {std::string(StanzaType(recipient.type))};
    if (recipient.type == KeyType::kSshEd25519) {
      stanza.args.push_back(SshKeyTag(recipient.ssh_key.data()));
    }
    stanza.args.push_back(EncodeBase64(share, sizeof share));
    stanza.body = std::move(body);
  }
  sodium_memzero(wrap_key, sizeof wrap_key);
  return status;
}

AgeStatus CheckStanza(const Stanza& stanza) {
  const bool ssh = stanza.args[0] == kSshEd25519Type;
  std::vector<unsigned char> tag;
  std::vector<unsigned char> share;
  if (stanza.args.size() != (ssh ? 3 : 2)) return AgeStatus::kMalformedStanza;
  if ((ssh && !DecodeBase64(stanza.args[1], tag)) || !DecodeBase64(stanza.args.back(), share)) {
    return AgeStatus::kBadBase64;
  }
  // The body's size is checked before any decryption is tried.
  if ((ssh && tag.size() != kSshTagSize) || share.size() != kKeySize ||
      stanza.body.size() != kBodySize) {
    return AgeStatus::kMalformedStanza;
  }
  return AgeStatus::kOk;
}

AgeStatus UnwrapFileKey(const Stanza& stanza, const Identity& identity,
                        unsigned char* file_key) {
  // A tag names the key an ssh-ed25519 stanza is for: another key's stanza
  // costs no agreement.
  if (identity.recipient.type == KeyType::kSshEd25519 &&
      stanza.args[1] != SshKeyTag(identity.recipient.ssh_key.data())) {
    return AgeStatus::kNoMatchingIdentity;
  }
  std::vector<unsigned char> share;
  if (!DecodeBase64(stanza.args.back(), share)) return AgeStatus::kBadBase64;
  unsigned char wrap_key[crypto_aead_chacha20poly1305_ietf_KEYBYTES];
  AgeStatus status = DeriveWrapKey(identity.secret_key.data(), share.data(), share.data(),
                                   identity.recipient, wrap_key);
  if (status == AgeStatus::kOk &&
      crypto_aead_chacha20poly1305_ietf_decrypt(file_key, nullptr, nullptr, stanza.body.data(),
                                                stanza.body.size(), nullptr, 0, kWrapNonce,
                                                wrap_key) != 0) {
    status = AgeStatus::kNoMatchingIdentity;
  }
  sodium_memzero(wrap_key, sizeof wrap_key);
  return status;
}

}  // namespace age
