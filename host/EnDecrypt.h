// The encrypted record store. Keeps a record map (key -> value, any bytes) in
// an encrypted file and remembers the mode each file was last written in:
// attended (a passphrase) or unattended (empty passphrase; a host key file).
// One process-wide instance, owned by the library and never freed by callers.
// Every operation returns 0 or one of the statuses below.
#ifndef HOST_ENDECRYPT_H_
#define HOST_ENDECRYPT_H_

#include <map>
#include <string>

#include "host/Export.h"

// Store statuses. Only the command's result mapping interprets them.
namespace endecrypt_status {
constexpr int kOk = 0;
constexpr int kNoCredential = 1;      // no key material to open the store
constexpr int kInvalidFile = 2;       // short, garbled, tampered or future-version file
constexpr int kWriteFailed = 3;       // the store could not be written
constexpr int kInternal = 4;          // the crypto library failed, or out of memory
constexpr int kReadFailed = 5;        // the store exists but could not be read
constexpr int kBadConfiguration = 6;  // a store setting in the configuration is unusable
constexpr int kNotExist = 7;          // no store at the path
constexpr int kModeConflict = 11;     // a call in the other mode than the store's
constexpr int kInterrupted = 12;      // the user declined
constexpr int kWrongPassphrase = 13;  // wrong passphrase or another host's key
}  // namespace endecrypt_status

class ENDECRYPT_API EnDecrypt {
 public:
  // The process-wide instance; null only when the crypto library cannot start.
  static EnDecrypt* GetInstance();

  EnDecrypt(const EnDecrypt&) = delete;
  EnDecrypt& operator=(const EnDecrypt&) = delete;

  // Stores in `mode` the mode the store at `path` was last written in
  // (0 attended, 1 unattended). `mode` is untouched on failure.
  int GetFileLastEncryptionMode(const std::string& path, int& mode);

  // Replaces `records` by every record of the store at `path`, opened with
  // `passphrase` (empty: the host key). `records` is untouched on failure.
  int Decrypt(const std::string& path, std::map<std::string, std::string>& records,
              const std::string& passphrase);

  // Writes `records` into the store at `path`, creating it (and its folders)
  // when absent. With `flag` true stored keys absent from `records` stay;
  // with `flag` false `records` replaces the store. On failure the old store
  // is left byte for byte.
  int Encrypt(const std::map<std::string, std::string>& records, const std::string& path,
              const std::string& passphrase, const bool& flag);

 private:
  EnDecrypt();
  ~EnDecrypt();
};

#endif  // HOST_ENDECRYPT_H_
