// How the host key rests on disk. `file` keeps the 32 key bytes as they
// are; `tpm2` (Linux) and `dpapi` (Windows) keep them sealed by this
// machine, in a file that opens with a small versioned header naming the
// protection (docs/store-format.md). The key and its id never depend on the
// protection, so a store opens under any of them as long as the same key is
// behind it. The sealers live in HostKeyTpm2.cpp (with its transport,
// Tpm*.cpp) and HostKeyDpapi.cpp; CMake chooses a refusal instead
// (HostKeyTpm2Absent.cpp, HostKeyDpapiAbsent.cpp) on the system one does
// not serve.
#ifndef SUITE_ENDECRYPT_HOSTKEYPROTECTION_H_
#define SUITE_ENDECRYPT_HOSTKEYPROTECTION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/HostKeyProtection.h"
#include "host/StoreVocabulary.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreSettings.h"

namespace endecrypt {

// Sealed key files: magic, version, protection, then what the sealer made.
// Version 2 pins the TPM's primary key (HostKeyTpm2.cpp); version 1 files
// are still read.
constexpr std::size_t kSealedMagicSize = 8;
constexpr unsigned char kSealedMagic[kSealedMagicSize] = {'K', 'V', 'X', 'H', 'O', 'S', 'T', 'K'};
constexpr std::uint8_t kSealedVersion = 2;
constexpr std::uint8_t kOldestSealedVersion = 1;
constexpr std::size_t kSealedHeaderSize = kSealedMagicSize + 2;
// Far above what either sealer makes; a bound for reading the file.
constexpr std::size_t kMaxHostKeyFileSize = 16384;

// Stores in `file` what a host key file holds for `key` under the
// protection of `settings`: the key itself for kFile, else a sealed file.
// Returns kOk; kNoCredential when the sealer cannot reach its TPM or
// service (reason logged); kBadConfiguration when the protection does not
// exist on this system. `file` is untouched on failure.
// REQUIRES: key holds kHostKeySize bytes.
[[nodiscard]] StoreStatus ProtectHostKey(const ProtectionSettings& settings,
                                         const SecureBuffer& key, SecureBuffer& file);

// Stores in `key` the host key that the key file contents `file` hold:
// the bytes themselves for a plain key file (exactly kHostKeySize bytes),
// else what the sealer named by the header unseals, reaching a TPM through
// `settings.tpm2_tcti`. Returns kOk, or kNoCredential (reason logged) when
// the header or the sealed data does not parse, the sealer is absent or
// refuses. `key` is untouched on failure.
[[nodiscard]] StoreStatus UnprotectHostKey(const ProtectionSettings& settings,
                                           const SecureBuffer& file, SecureBuffer& key);
// As above, taking over `file`: a plain key file's memory becomes `key`
// rather than being copied into memory of its own.
[[nodiscard]] StoreStatus UnprotectHostKey(const ProtectionSettings& settings, SecureBuffer&& file,
                                           SecureBuffer& key);

// Stores in `protection` how the key file contents `file` say the key
// rests, without unsealing anything. False when `file` is neither a plain
// key nor a sealed key of a known protection.
[[nodiscard]] bool ReadFileProtection(const SecureBuffer& file, Protection& protection);

// The sealers. Each returns kOk, kNoCredential (reason logged; for tpm2
// also a TPM that does not answer within the timeout, or whose primary key
// is not the one recorded) or, on the system without it, kBadConfiguration
// for sealing and kNoCredential for unsealing. `sealed` is the part of the
// file after the header, whose version is `version`.
[[nodiscard]] StoreStatus SealWithTpm2(const ProtectionSettings& settings, const SecureBuffer& key,
                               std::vector<unsigned char>& sealed);
[[nodiscard]] StoreStatus UnsealWithTpm2(const ProtectionSettings& settings, std::uint8_t version,
                                 const unsigned char* sealed, std::size_t size,
                                 SecureBuffer& key);
[[nodiscard]] StoreStatus SealWithDpapi(const SecureBuffer& key,
                                        std::vector<unsigned char>& sealed);
[[nodiscard]] StoreStatus UnsealWithDpapi(const unsigned char* sealed, std::size_t size,
                                          SecureBuffer& key);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_HOSTKEYPROTECTION_H_
