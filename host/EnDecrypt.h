// The encrypted record store. Keeps a record map (key -> value, any bytes) in
// an encrypted file and remembers the mode each file was last written in:
// attended (a passphrase) or unattended (empty passphrase; a host key file).
// One process-wide instance, owned by the library and never freed by callers.
// Every operation returns a StoreStatus: 0 or one of the statuses below.
#ifndef HOST_ENDECRYPT_H_
#define HOST_ENDECRYPT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/Export.h"

// The mode a store is written in: attended (a passphrase typed) or
// unattended (empty passphrase; the host key). The values are the mode byte
// of a store's header (docs/store-format.md).
enum EncryptionMode : std::uint8_t { kAttendedMode = 0, kUnattendedMode = 1 };

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
constexpr int kRecordAbsent = 14;     // a record to read or remove is not in the store
constexpr int kBusy = 15;             // another change to the host key is running
constexpr int kKeyInUse = 16;         // a kept host key that a store is still sealed under
constexpr int kConflict = 17;         // records an edit changed were changed meanwhile by another
}  // namespace endecrypt_status

// A store status and, for a failure met outside the library's own checks (a
// file refused or unreadable, a system error), its reason: what was refused
// and why, naming the file and the system's error, never a key or a value.
// The statuses above are its codes; any code is a status without a reason,
// and a status compares equal to its code. The command logs the reason
// where it decides its result; the code alone is taken out by name
// (GetCode), so a reason is never lost to a conversion nobody wrote.
class [[nodiscard]] StoreStatus {
 public:
  StoreStatus(int code = endecrypt_status::kOk) : code(code) {}
  StoreStatus(int code, std::string reason) : code(code), reason(std::move(reason)) {}

  [[nodiscard]] int GetCode() const { return code; }
  // Why the call failed; empty when the code says all.
  [[nodiscard]] const std::string& GetReason() const { return reason; }

  friend bool operator==(const StoreStatus& status, int code) { return status.code == code; }
  // The code, as the log lines that name a status print it.
  friend std::ostream& operator<<(std::ostream& out, const StoreStatus& status) {
    return out << status.code;
  }

 private:
  int code;
  std::string reason;
};

class ENDECRYPT_API EnDecrypt {
 public:
  // The process-wide instance; null only when the crypto library cannot start.
  static EnDecrypt* GetInstance();

  EnDecrypt(const EnDecrypt&) = delete;
  EnDecrypt& operator=(const EnDecrypt&) = delete;

  // Stores in `mode` the mode the store at `path` was last written in.
  // `mode` is untouched on failure.
  StoreStatus GetFileLastEncryptionMode(const std::string& path, EncryptionMode& mode);

  // What Decrypt opened of a store, for the caller to hand to the Encrypt
  // that updates the same store next (encrypt's pre-check decrypts the
  // store to count what changes, then writes): when the store under the
  // writers' lock is still the file that was opened (its size, header and
  // tag: every write seals under a fresh random nonce), that Encrypt takes
  // the records from here instead of opening the store again. Meanwhile the
  // plaintext waits in guarded memory, unreadable; it is wiped when that
  // Encrypt returns, or when this object dies. Nothing else in the library
  // keeps plaintext from one call to the next. One thread at a time.
  class ENDECRYPT_API ReadForUpdate {
   public:
    ReadForUpdate();
    ReadForUpdate(const ReadForUpdate&) = delete;
    ReadForUpdate& operator=(const ReadForUpdate&) = delete;
    ~ReadForUpdate();

    struct Held;  // the library's own

   private:
    friend class EnDecrypt;
    std::unique_ptr<Held> held;
  };

  // Replaces `records` by every record of the store at `path`, opened with
  // `passphrase` (empty: the host key). `records` is untouched on failure.
  // With `keep`, what was opened also replaces what `keep` held (on failure
  // it holds nothing).
  StoreStatus Decrypt(const std::string& path, std::map<std::string, std::string>& records,
                      const std::string& passphrase, ReadForUpdate* keep = nullptr);

  // A store's records as views into its opened plaintext, in ascending key
  // order: valid only while the call they are handed to runs.
  using RecordViews = std::vector<std::pair<std::string_view, std::string_view>>;

  // As Decrypt, but hands the records to `read`, which runs before this
  // returns, as views instead of copies: a caller that only looks at them
  // (a count of what an update changes) makes no copy of the plaintext.
  StoreStatus ViewRecords(const std::string& path, const std::string& passphrase,
                          const std::function<void(const RecordViews&)>& read,
                          ReadForUpdate* keep = nullptr);

  // Writes `records` into the store at `path`, creating it (and its folders)
  // when absent. With `flag` true stored keys absent from `records` stay;
  // with `flag` false `records` replaces the store. On failure the old store
  // is left byte for byte. With `read`, filled by Decrypt of the same path
  // and passphrase, the store's records come from there while the store is
  // still that file; `read` holds nothing afterwards.
  StoreStatus Encrypt(const std::map<std::string, std::string>& records, const std::string& path,
                      const std::string& passphrase, const bool& flag,
                      ReadForUpdate* read = nullptr);

  // What an authenticated store holds, as Inspect finds it.
  struct StoreInfo {
    EncryptionMode mode = kAttendedMode;
    std::uint32_t opslimit = 0;   // Argon2id costs in the header; 0 when unattended
    std::uint64_t memlimit = 0;
    std::size_t record_count = 0;
  };

  // Opens the store at `path` with `passphrase` (empty: the host key),
  // authenticates all of it and stores its facts in `info`. Takes no lock
  // (stores are replaced whole). `info` is untouched on failure.
  StoreStatus Inspect(const std::string& path, const std::string& passphrase, StoreInfo& info);

  // As Inspect, and replaces `keys` by the store's record keys in ascending
  // order. No value leaves the library's guarded memory.
  StoreStatus ListKeys(const std::string& path, const std::string& passphrase,
                       std::vector<std::string>& keys);

  // Opens the store at `path` with `passphrase`, authenticates all of it and
  // stores the value of the record `key` in `value`; kRecordAbsent when no
  // such record is stored. Only that one value leaves the library's guarded
  // memory. `value` is untouched on failure.
  StoreStatus GetValue(const std::string& path, const std::string& passphrase,
                       const std::string& key, std::string& value);

  // Removes the records named by `keys` from the store at `path`, opened
  // with `passphrase`, under the writers' lock. kRecordAbsent, with the
  // store unchanged, when any of them is not stored. Atomic: on any failure
  // the old store is left byte for byte.
  StoreStatus Remove(const std::string& path, const std::vector<std::string>& keys,
                     const std::string& passphrase);

  // Applies to the store at `path`, opened with `passphrase`, under the
  // writers' lock, an edit made on an earlier copy of it: `changed` names
  // (ascending) every key the edit added, changed or removed, `before`
  // holds the records that copy had of them and `after` the records the
  // edit left of them. Records the edit did not touch stay as they are now,
  // whoever wrote them meanwhile. A changed key whose record in the store
  // differs from `before` (another writer changed, added or removed it
  // since the copy) is a conflict: kConflict, nothing written, those keys
  // in `conflicts`. Atomic like Remove.
  StoreStatus ApplyEdit(const std::string& path, const std::string& passphrase,
                        const std::vector<std::string>& changed,
                        const std::map<std::string, std::string>& before,
                        const std::map<std::string, std::string>& after,
                        std::vector<std::string>& conflicts);

  // Re-seals the store at `path`, opened with `passphrase`, under
  // `new_passphrase` (empty: the host key) with a fresh salt, under the
  // writers' lock; the store takes the mode of `new_passphrase`, so this is
  // also how a store changes mode. Afterwards `passphrase` opens nothing
  // (unless it is `new_passphrase`). Atomic like Remove.
  StoreStatus Rekey(const std::string& path, const std::string& passphrase,
                    const std::string& new_passphrase);

 private:
  EnDecrypt();
  ~EnDecrypt();
};

#endif  // HOST_ENDECRYPT_H_
