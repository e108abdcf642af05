// Files in the age format (age-encryption.org/v1), described in docs/age.md:
// X25519 identities and recipients and their text forms, identity and
// recipients files, and whole files encrypted to recipients or decrypted
// with identities, binary or armored. All in memory and all on libsodium.
// Nothing is logged and nothing thrown: every operation that can fail
// returns an AgeStatus, and DescribeStatus turns it into a fixed phrase
// that carries nothing from the input. Secret keys, file keys and
// plaintext are only ever held in guarded memory, wiped when released.
#ifndef SUITE_AGE_AGEFORMAT_H_
#define SUITE_AGE_AGEFORMAT_H_

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "suite/platform/GuardedMemory.h"
#include "suite/secretmemory/SecretMemory.h"

namespace age {

// Why an operation stopped. Each refusal of a file has its own value, so a
// caller can print or log which check failed.
enum class AgeStatus {
  kOk,
  kNotAgeFile,          // neither an age header nor an age armor block
  kUnsupportedVersion,  // an age header of another version than v1
  kMalformedHeader,     // header lines out of order, no stanza, a bad MAC line
  kMalformedStanza,     // a stanza's argument line, body lines or X25519 fields
  kBadBase64,           // base64 that is not canonical (padding, stray bits)
  kBadArmor,            // an armor block that is not strict PEM
  kHeaderMacMismatch,   // the header was changed after it was written
  kNoMatchingIdentity,  // no stanza opens with any of the identities
  kLowOrderShare,       // an X25519 share or recipient giving an all-zero secret
  kBadChunk,            // a payload chunk that fails authentication
  kTruncated,           // the file ends before its header, nonce or final chunk
  kEmptyLastChunk,      // an empty final chunk after a full one
  kTrailingData,        // bytes after the final chunk
  kScryptUnsupported,   // a passphrase (scrypt) stanza
  kTooLarge,            // beyond kMaxPlaintextSize, kMaxFileSize or kMaxStanzas
  kHeaderTooLarge,      // a header of more than kMaxHeaderSize bytes
  kHeaderLineTooLong,   // a header line of more than kMaxHeaderLineSize bytes
  kTooManyArguments,    // a stanza line of more than kMaxStanzaArguments arguments
  kTooManyIdentities,   // more than kMaxIdentities identities given or in a key file
  kTooManyUnwraps,      // identities times stanzas of their kind beyond kMaxUnwrapAttempts
  kMalformedKey,        // not an age identity or recipient string, nor an OpenSSH key
  kSshRsaUnsupported,   // an ssh-rsa public key given as a recipient
  kSshKeyWrongType,     // an OpenSSH key of another type than ssh-ed25519
  kSshKeyTruncated,     // an OpenSSH key that ends inside a field
  kSshKeySeveral,       // an OpenSSH private key file holding more than one key
  kSshKeyEncrypted,     // a passphrase-protected OpenSSH private key
  kSshKeyBadPadding,    // an OpenSSH private section not padded 1, 2, 3... to 8 bytes
  kSshKeyCheckMismatch, // an OpenSSH private section whose two check numbers differ
  kMalformedSshKey,     // any other fault of an OpenSSH public line or private key
  kNoKeys,              // no identity or recipient given or found in a file
  kInternal,            // libsodium could not start, or memory ran out
};

// A short English phrase for `status`, the same for every input.
const char* DescribeStatus(AgeStatus status);

constexpr std::size_t kKeySize = 32;  // X25519 secret and public keys
// The largest plaintext encrypted or decrypted: the store's own bound.
constexpr std::size_t kMaxPlaintextSize = std::size_t{256} << 20;
// The largest file decrypted: room for the armored form of the largest
// plaintext with kMaxStanzas recipients.
constexpr std::size_t kMaxFileSize = std::size_t{384} << 20;
// The most stanzas a header may have, read or written, so that a crafted
// header cannot make a reader try its identities for minutes.
constexpr std::size_t kMaxStanzas = 1024;
// The largest header read, through its MAC line: kMaxStanzas X25519
// stanzas take about 100 KiB, so ten times that leaves room for stanzas
// of other types. Whatever a header holds, parsing it takes memory in
// proportion to its size.
constexpr std::size_t kMaxHeaderSize = std::size_t{1} << 20;
// The longest header line read, without its line feed: room for the
// largest share another recipient type puts on its stanza line (a
// post-quantum hybrid share is about 1,500 characters).
constexpr std::size_t kMaxHeaderLineSize = 4096;
// The most arguments a stanza line may have, its type included: X25519
// takes two, scrypt and ssh-ed25519 three.
constexpr std::size_t kMaxStanzaArguments = 8;
// The most identities taken from a key file or tried on a file: key
// files hold one or a few.
constexpr std::size_t kMaxIdentities = 256;
// The most identities times stanzas of their kind (X25519 or ssh-ed25519)
// a decryption may have to try,
// each try an X25519 agreement of some 50 microseconds: at most about
// 0.2 s, where kMaxIdentities times kMaxStanzas would be 13 s.
constexpr std::size_t kMaxUnwrapAttempts = 4096;

// Bytes in guarded memory (suite/platform/GuardedMemory.h), wiped when
// replaced or released. One owner: moving hands the memory over.
using SecretBytes = platform::GuardedMemory;

// The two kinds of key files are encrypted to: age's own X25519 keys, and
// OpenSSH Ed25519 keys, whose stanza agrees an X25519 secret with the
// Ed25519 key in Montgomery form (docs/age.md).
enum class KeyType { kX25519, kSshEd25519 };

// What files are encrypted to: an X25519 public key ("age1..."), or an
// ssh-ed25519 public key, held with its X25519 form.
struct Recipient {
  KeyType type = KeyType::kX25519;
  std::array<unsigned char, kKeySize> public_key{};  // X25519
  std::array<unsigned char, kKeySize> ssh_key{};     // Ed25519, for kSshEd25519
};

// An X25519 secret key ("AGE-SECRET-KEY-1...", or derived from an OpenSSH
// Ed25519 private key) and its recipient.
struct Identity {
  SecretBytes secret_key;  // kKeySize bytes once made or parsed
  Recipient recipient;
};

// Makes the identity whose secret key is the kKeySize bytes at `seed`
// (kelvox derives them from the host key). kOk or kInternal.
[[nodiscard]] AgeStatus MakeIdentityFromSeed(const unsigned char* seed, Identity& identity);

// Parses one "AGE-SECRET-KEY-1..." string (either case, nothing around it).
// kOk, kMalformedKey or kInternal; `identity` is untouched unless kOk.
[[nodiscard]] AgeStatus ParseIdentity(std::string_view text, Identity& identity);

// The identity's "AGE-SECRET-KEY-1..." string, into wiped memory.
[[nodiscard]] AgeStatus FormatIdentity(const Identity& identity, SecretString& text);

// Parses one "age1..." string (either case, nothing around it) or one
// OpenSSH public key line (ParseSshPublicKey). kOk, kMalformedKey or the
// refusals of ParseSshPublicKey; `recipient` is untouched unless kOk.
[[nodiscard]] AgeStatus ParseRecipient(std::string_view text, Recipient& recipient);

// Parses an OpenSSH public key line, "ssh-ed25519 AAAA... comment" (the
// comment optional, blanks or tabs between the fields), as ssh-keygen
// writes it. kOk; kSshRsaUnsupported for an ssh-rsa key; kSshKeyWrongType
// for another type (or a key whose wire form names another);
// kSshKeyTruncated, kBadBase64 or kMalformedSshKey for a broken key.
[[nodiscard]] AgeStatus ParseSshPublicKey(std::string_view text, Recipient& recipient);

// Parses an unencrypted OpenSSH private key file ("-----BEGIN OPENSSH
// PRIVATE KEY-----", openssh-key-v1) holding one ssh-ed25519 key into the
// identity whose X25519 secret is derived from the key's seed. kOk, or
// kSshKeyEncrypted, kSshKeySeveral, kSshKeyWrongType, kSshKeyTruncated,
// kSshKeyCheckMismatch, kSshKeyBadPadding, kBadBase64, kMalformedSshKey,
// kInternal; `identity` is untouched unless kOk.
[[nodiscard]] AgeStatus ParseSshPrivateKey(std::string_view text, Identity& identity);

// True when the first thing in `text` after white space is the first line
// of an OpenSSH private key.
bool IsSshPrivateKey(std::string_view text);

// The "age1..." string of a recipient or of an identity's recipient; for
// an ssh-ed25519 one, its public key line without a comment.
std::string FormatRecipient(const Recipient& recipient);
std::string FormatRecipient(const Identity& identity);

// Parse a key file as age-keygen writes one and age reads it: one key per
// line, lines starting with '#' and blank lines skipped, blanks, tabs and a
// carriage return around a key ignored. On kOk the keys replace the
// vector's contents; kMalformedKey names the first bad line (counted from
// 1) in `bad_line` when given, and so does kTooManyIdentities the line of
// the identity past kMaxIdentities; kNoKeys when the file holds none. The
// vector is untouched unless kOk. An identity file may instead be one
// OpenSSH private key (ParseSshPrivateKey), and a recipients file line an
// OpenSSH public key line.
[[nodiscard]] AgeStatus ParseIdentityFile(std::string_view text, std::vector<Identity>& identities,
                                          std::size_t* bad_line = nullptr);
[[nodiscard]] AgeStatus ParseRecipientsFile(std::string_view text,
                                            std::vector<Recipient>& recipients,
                                            std::size_t* bad_line = nullptr);

// Encrypts `size` bytes at `plaintext` to every recipient (one X25519 or
// ssh-ed25519 stanza each) into `file`, replacing its contents: binary, or armored
// with `armor` (PEM, 64 columns). kOk, kNoKeys, kTooLarge (more than
// kMaxPlaintextSize bytes or kMaxStanzas recipients), kLowOrderShare (a
// recipient no secret can be agreed with) or kInternal; `file` is
// untouched unless kOk.
[[nodiscard]] AgeStatus EncryptToRecipients(const std::vector<Recipient>& recipients,
                                            const unsigned char* plaintext, std::size_t size,
                                            bool armor, std::vector<unsigned char>& file);

// Decrypts the age file of `size` bytes at `file`, binary or armored, with
// the first identity that opens one of its X25519 or ssh-ed25519 stanzas
// (each tried with the identities of its kind); stanzas of other types are
// skipped, except scrypt ones, which are refused. More than kMaxIdentities
// identities, or more than kMaxUnwrapAttempts identities times stanzas of
// their kind, are refused before any is tried. On kOk the
// plaintext replaces what `plaintext` held; on a refusal `plaintext` is
// untouched and nothing decrypted is left in memory.
[[nodiscard]] AgeStatus DecryptWithIdentities(const std::vector<Identity>& identities,
                                              const unsigned char* file, std::size_t size,
                                              SecretBytes& plaintext);

}  // namespace age

#endif  // SUITE_AGE_AGEFORMAT_H_
