// The encrypted record store. Keeps a record map (key -> value, any bytes) in
// an encrypted file and remembers the mode each file was last written in:
// attended (a passphrase) or unattended (empty passphrase; a host key file).
// The face of a store engine (suite/endecrypt/StoreEngine.h), which does
// the work with its file layer and settings: GetInstance() is the process's,
// owned by the library and never freed by callers; a test puts a face on an
// engine of its own, which must outlive the face.
// Every operation returns a StoreStatus (host/StoreVocabulary.h).
#ifndef HOST_ENDECRYPT_H_
#define HOST_ENDECRYPT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/Export.h"
#include "host/StoreVocabulary.h"

namespace endecrypt {
class StoreEngine;
}

class ENDECRYPT_API EnDecrypt {
 public:
  // The process-wide instance; null only when the crypto library cannot start.
  static EnDecrypt* GetInstance();

  explicit EnDecrypt(endecrypt::StoreEngine& engine);

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
    friend class endecrypt::StoreEngine;
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
  endecrypt::StoreEngine& engine;
};

#endif  // HOST_ENDECRYPT_H_
