// The host key: 32 random bytes in an owner-only file of their own, from
// which each unattended store derives its key, so such stores open without
// a passphrase on this host and on no other. Created by the first
// unattended write that needs it; never replaced once there, except by the
// ring (HostKeyRing.h), which keeps the key it replaces.
#ifndef SUITE_ENDECRYPT_HOSTKEY_H_
#define SUITE_ENDECRYPT_HOSTKEY_H_

#include <cstddef>
#include <string>

#include "host/StoreVocabulary.h"
#include "suite/endecrypt/SecureBuffer.h"

namespace endecrypt {

class StoreContext;
struct ProtectionSettings;

// Loads the host key at `path` into `key`, unsealing it when the file is
// sealed. Returns kOk; kNoCredential when there is no trustworthy key file
// (the reason names the check it fails), or its seal does not parse or will
// not open (reason logged); kBadConfiguration when the protection settings
// are unusable.
[[nodiscard]] StoreStatus LoadHostKey(StoreContext& context, const std::string& path,
                                      SecureBuffer& key);

// As LoadHostKey, but creates a fresh random key at `path` when there is
// none, resting under the configured protection; of two processes creating
// it at once, both end with the same key. Returns kOk, kNoCredential (a
// damaged key file, which is never overwritten, or a TPM or DPAPI that
// cannot seal), kBadConfiguration, kWriteFailed or kInternal.
[[nodiscard]] StoreStatus LoadOrCreateHostKey(StoreContext& context, const std::string& path,
                                              SecureBuffer& key);

// Loads the configured host key before the caller takes a store's writers'
// lock, so a slow or silent TPM never keeps the lock (and every writer of
// the folder) waiting. While it lives, LoadHostKey and LoadOrCreateHostKey
// on this thread, for the configured path, hand out what was reached here
// (the key, or the failure status) instead of reading and unsealing the
// file again. For a missing key file (or unreadable settings) nothing is
// held and those calls work as always. Not thread-safe: one lives on the
// stack of the thread that uses it.
class PreloadedHostKey {
 public:
  // Loads the key only when `wanted` (an unattended call).
  PreloadedHostKey(StoreContext& context, bool wanted);
  PreloadedHostKey(const PreloadedHostKey&) = delete;
  PreloadedHostKey& operator=(const PreloadedHostKey&) = delete;
  ~PreloadedHostKey();

  // When this holds the outcome for `path`: stores it in `result` and, on
  // kOk, a copy of the key in `key`.
  [[nodiscard]] bool Take(const std::string& path, SecureBuffer& key, StoreStatus& result) const;
  // When this holds the outcome for `path`: stores it in `result` and
  // returns the key held, null unless kOk; else returns null with `result`
  // untouched.
  [[nodiscard]] const SecureBuffer* Peek(const std::string& path, StoreStatus& result) const;

  // False when the key file is no longer the one loaded (a rotation or a
  // restore replaced it since, or one was made where there was none): a
  // writer that checks this under its store's lock never seals a store
  // under a key that has left the file. Reads the file, unseals nothing.
  [[nodiscard]] bool StillCurrent() const;

 private:
  static constexpr std::size_t kFileHashSize = 32;

  StoreContext& context;
  PreloadedHostKey* previous;
  bool held = false;
  bool hashed = false;  // file_hash holds what the key file was
  std::string path;
  StoreStatus status;
  SecureBuffer key;
  // A hash of the key file's bytes as loaded; all zero when there was none.
  unsigned char file_hash[kFileHashSize] = {};
};

// Stores in `key_id` the id of `key`: a one-way tag that tells stores of
// different host keys apart. Returns kOk or kInternal.
[[nodiscard]] StoreStatus ComputeHostKeyId(const SecureBuffer& key, HostKeyId& key_id);

// Writes the id of the host key at `path` to `key_id`, as LoadHostKey and
// ComputeHostKeyId would, without copying a preloaded key for it. Returns
// the statuses of both.
[[nodiscard]] StoreStatus ComputeHostKeyIdAt(StoreContext& context, const std::string& path,
                                             HostKeyId& key_id);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_HOSTKEY_H_
