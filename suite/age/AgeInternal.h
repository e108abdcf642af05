// The pieces behind AgeFormat.h, one source each: unpadded base64, Bech32,
// HKDF-SHA-256, the header, the X25519 stanza, the payload's chunks and the
// armor. Not part of the library's interface: its own sources, its tests
// and the fuzz target include it.
#ifndef SUITE_AGE_AGEINTERNAL_H_
#define SUITE_AGE_AGEINTERNAL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "suite/age/AgeFormat.h"
#include "suite/secretmemory/SecretMemory.h"

namespace age {

using WipedBytes = std::vector<unsigned char, WipingAllocator<unsigned char>>;

constexpr std::size_t kFileKeySize = 16;
constexpr std::size_t kMacSize = 32;           // HMAC-SHA-256
constexpr std::size_t kTagSize = 16;           // Poly1305
constexpr std::size_t kPayloadNonceSize = 16;  // before the first chunk
constexpr std::size_t kChunkSize = std::size_t{64} << 10;
constexpr std::size_t kSealedChunkSize = kChunkSize + kTagSize;

// True when `text` begins with `prefix`.
inline bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// True once libsodium has started; every entry point asks first.
bool SodiumReady();

// Base64 of RFC 4648 without padding, canonical only: DecodeBase64 refuses
// padding, stray bits and any character outside the alphabet. libsodium
// takes some bytes above 0x7f for alphabet characters, so the alphabet is
// checked here first.
bool IsBase64Character(char c);
std::string EncodeBase64(const unsigned char* data, std::size_t size);
[[nodiscard]] bool DecodeBase64(std::string_view text, std::vector<unsigned char>& bytes);

// Bech32 (BIP 173) without its length limit. Decode refuses mixed case, an
// empty human-readable part, a bad character or checksum; it returns the
// human-readable part in lower case and the 5-bit data values before the
// checksum. Encode writes lower case.
[[nodiscard]] bool DecodeBech32(std::string_view text, std::string& hrp, WipedBytes& values);
void EncodeBech32(std::string_view hrp, const WipedBytes& values, SecretString& text);
// Regroups bits `from` per value into `to` per value. Packing (8 to 5)
// pads the last group with zeros; unpacking (5 to 8) refuses a last group
// of more than 4 bits or with a bit set.
[[nodiscard]] bool RegroupBits(const unsigned char* in, std::size_t size, unsigned from,
                               unsigned to, WipedBytes& out);

// HKDF-SHA-256 (RFC 5869) on libsodium's HMAC-SHA-256; an empty salt is
// HashLen zero bytes. False when `size` exceeds 255 hash lengths.
[[nodiscard]] bool DeriveHkdfSha256(const unsigned char* ikm, std::size_t ikm_size,
                                    const unsigned char* salt, std::size_t salt_size,
                                    std::string_view info, unsigned char* out, std::size_t size);

// One recipient stanza: its arguments (type first) and its decoded body.
struct Stanza {
  std::vector<std::string> args;
  std::vector<unsigned char> body;
};

struct Header {
  std::vector<Stanza> stanzas;
  unsigned char mac[kMacSize] = {};
  std::size_t mac_input_size = 0;  // the bytes the MAC covers, through "---"
  std::size_t size = 0;            // the whole header: where the payload starts
};

// Parses the header at the start of a binary age file. On kOk `header`
// holds it; the other results are kNotAgeFile, kUnsupportedVersion,
// kMalformedHeader, kMalformedStanza, kBadBase64, kTruncated, kTooLarge
// (more than kMaxStanzas stanzas), kHeaderTooLarge, kHeaderLineTooLong and
// kTooManyArguments. It reads no further than kMaxHeaderSize bytes.
[[nodiscard]] AgeStatus ParseHeader(const unsigned char* data, std::size_t size, Header& header);
// The header's text through "---", what its MAC covers.
std::string EncodeHeaderStart(const std::vector<Stanza>& stanzas);
// The whole header: EncodeHeaderStart, then the MAC line.
std::string EncodeHeader(const Header& header);
// The header MAC of `size` bytes of text under `file_key`.
[[nodiscard]] bool ComputeHeaderMac(const unsigned char* file_key, const unsigned char* text,
                                    std::size_t size, unsigned char* mac);

// The recipient stanzas, X25519 ("-> X25519 share") and ssh-ed25519
// ("-> ssh-ed25519 tag share"). WrapFileKey makes a fresh ephemeral share
// for `recipient` and seals the file key in the body, in the stanza of the
// recipient's type: kOk, kLowOrderShare or kInternal. CheckStanza checks
// the fields of a stanza of either type: kOk, kMalformedStanza or
// kBadBase64. UnwrapFileKey tries `identity` on a checked stanza of its
// type: kOk with the file key written, kNoMatchingIdentity when the body
// does not open (or an ssh-ed25519 stanza's tag is another key's),
// kLowOrderShare or kInternal.
inline constexpr std::string_view kX25519Type = "X25519";
inline constexpr std::string_view kSshEd25519Type = "ssh-ed25519";
[[nodiscard]] AgeStatus WrapFileKey(const Recipient& recipient, const unsigned char* file_key,
                                    Stanza& stanza);
[[nodiscard]] AgeStatus CheckStanza(const Stanza& stanza);
[[nodiscard]] AgeStatus UnwrapFileKey(const Stanza& stanza, const Identity& identity,
                                      unsigned char* file_key);
// The stanza type of a recipient of `type`.
std::string_view StanzaType(KeyType type);

// The SSH wire form of an Ed25519 public key: the string "ssh-ed25519",
// then the string of the 32 key bytes, each string with its 32-bit length.
constexpr std::size_t kSshWireKeySize = 4 + 11 + 4 + kKeySize;
void EncodeSshWireKey(const unsigned char* ed25519_key, unsigned char* wire);
// An ssh-ed25519 stanza's tag: the first 4 bytes of the SHA-256 of the
// key's wire form, unpadded base64.
std::string SshKeyTag(const unsigned char* ed25519_key);
// An ssh-ed25519 recipient's public key line, without a comment.
std::string FormatSshRecipient(const Recipient& recipient);

// The payload: a nonce, then chunks of kChunkSize bytes sealed with
// ChaCha20-Poly1305 under a key derived from the file key and the nonce,
// numbered from zero, the last one flagged final. SealChunk seals `size`
// bytes into size + kTagSize bytes at `out`.
[[nodiscard]] bool DerivePayloadKey(const unsigned char* file_key, const unsigned char* nonce,
                                    unsigned char* key);
[[nodiscard]] bool SealChunk(const unsigned char* key, std::uint64_t counter, bool last,
                             const unsigned char* in, std::size_t size, unsigned char* out);
// Appends a fresh nonce and the sealed chunks of `plaintext` to `file`.
[[nodiscard]] bool SealPayload(const unsigned char* file_key, const unsigned char* plaintext,
                               std::size_t size, std::vector<unsigned char>& file);
// Opens the payload of `size` bytes at `data`: kOk with the plaintext,
// kTruncated, kBadChunk, kEmptyLastChunk, kTrailingData, kTooLarge or
// kInternal.
[[nodiscard]] AgeStatus OpenPayload(const unsigned char* file_key, const unsigned char* data,
                                    std::size_t size, SecretBytes& plaintext);

// The armor: strict PEM with the label "AGE ENCRYPTED FILE", padded base64
// in lines of 64 columns. IsArmored tells whether the first thing after
// leading white space is the armor's first line. Dearmor accepts only that
// encoding, with LF or CRLF line ends used throughout and white space
// before and after the block: kOk, kBadArmor or kInternal.
[[nodiscard]] bool IsArmored(const unsigned char* data, std::size_t size);
[[nodiscard]] AgeStatus Dearmor(const unsigned char* data, std::size_t size,
                                std::vector<unsigned char>& binary);
void Armor(const std::vector<unsigned char>& binary, std::vector<unsigned char>& armored);

}  // namespace age

#endif  // SUITE_AGE_AGEINTERNAL_H_
