#include "suite/age/AgeInternal.h"

#include <sodium.h>

#include <cstring>
#include <utility>

namespace age {
namespace {

static_assert(kKeySize == crypto_scalarmult_BYTES && kKeySize == crypto_scalarmult_SCALARBYTES);
constexpr std::size_t kBodySize = kFileKeySize + crypto_aead_chacha20poly1305_ietf_ABYTES;
constexpr std::string_view kWrapInfo = "age-encryption.org/v1/X25519";
// Each wrap key seals one file key only, so the nonce is fixed.
constexpr unsigned char kWrapNonce[crypto_aead_chacha20poly1305_ietf_NPUBBYTES] = {};

// The wrap key of the secret agreed between `secret` and the point
// `agreement_point`, salted with the ephemeral share and the recipient.
// kOk, kLowOrderShare when the secret is all zeros (libsodium refuses
// it), or kInternal.
AgeStatus DeriveWrapKey(const unsigned char* secret, const unsigned char* share,
                        const unsigned char* agreement_point, const unsigned char* recipient,
                        unsigned char* wrap_key) {
  unsigned char shared[crypto_scalarmult_BYTES];
  unsigned char salt[2 * kKeySize];
  AgeStatus status = AgeStatus::kOk;
  if (crypto_scalarmult(shared, secret, agreement_point) != 0) {
    status = AgeStatus::kLowOrderShare;
  } else {
    std::memcpy(salt, share, kKeySize);
    std::memcpy(salt + kKeySize, recipient, kKeySize);
    if (!DeriveHkdfSha256(shared, sizeof shared, salt, sizeof salt, kWrapInfo, wrap_key,
                          crypto_aead_chacha20poly1305_ietf_KEYBYTES)) {
      status = AgeStatus::kInternal;
    }
  }
  sodium_memzero(shared, sizeof shared);
  return status;
}

}  // namespace

AgeStatus WrapFileKey(const Recipient& recipient, const unsigned char* file_key,
                      Stanza& stanza) {
  unsigned char ephemeral[crypto_scalarmult_SCALARBYTES];
  unsigned char share[crypto_scalarmult_BYTES];
  unsigned char wrap_key[crypto_aead_chacha20poly1305_ietf_KEYBYTES];
  randombytes_buf(ephemeral, sizeof ephemeral);
  AgeStatus status = crypto_scalarmult_base(share, ephemeral) == 0
                         ? DeriveWrapKey(ephemeral, share, recipient.public_key.data(),
                                         recipient.public_key.data(), wrap_key)
                         : AgeStatus::kInternal;
  sodium_memzero(ephemeral, sizeof ephemeral);
  if (status == AgeStatus::kOk) {
    std::vector<unsigned char> body(kBodySize);
    crypto_aead_chacha20poly1305_ietf_encrypt(body.data(), nullptr, file_key, kFileKeySize,
                                              nullptr, 0, nullptr, kWrapNonce, wrap_key);
    stanza.args = {std::string(kX25519Type), EncodeBase64(share, sizeof share)};
    stanza.body = std::move(body);
  }
  sodium_memzero(wrap_key, sizeof wrap_key);
  return status;
}

AgeStatus CheckX25519Stanza(const Stanza& stanza) {
  std::vector<unsigned char> share;
  if (stanza.args.size() != 2) return AgeStatus::kMalformedStanza;
  if (!DecodeBase64(stanza.args[1], share)) return AgeStatus::kBadBase64;
  // The body's size is checked before any decryption is tried.
  if (share.size() != kKeySize || stanza.body.size() != kBodySize) {
    return AgeStatus::kMalformedStanza;
  }
  return AgeStatus::kOk;
}

AgeStatus UnwrapFileKey(const Stanza& stanza, const Identity& identity,
                        unsigned char* file_key) {
  std::vector<unsigned char> share;
  if (!DecodeBase64(stanza.args[1], share)) return AgeStatus::kBadBase64;
  unsigned char wrap_key[crypto_aead_chacha20poly1305_ietf_KEYBYTES];
  AgeStatus status = DeriveWrapKey(identity.secret_key.data(), share.data(), share.data(),
                                   identity.recipient.public_key.data(), wrap_key);
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
