// The store's public operations: each reads the file through StoreFiles,
// checks its header (StoreFormat), derives the key (KeyDerivation, HostKey)
// and opens or seals the body with XChaCha20-Poly1305. The file format is
// described in docs/store-format.md.
#include "suite/endecrypt/StoreEngine.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "host/EnDecrypt.h"
#include "host/KeyOrderWalk.h"
#include "suite/endecrypt/Guarded.h"
#include "suite/endecrypt/HostKey.h"
#include "suite/endecrypt/HostKeyRing.h"
#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/LibraryStart.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreContext.h"
#include "suite/endecrypt/StoreFiles.h"
#include "suite/endecrypt/StoreFormat.h"
#include "suite/endecrypt/StoreReading.h"
#include "suite/endecrypt/StoreSettings.h"
#include "suite/secretmemory/SecretMemory.h"

// What ReadForUpdate holds: the opened store's size, header and tag, which
// name that file (a sealed file is never changed in place, and each write
// seals under a fresh random nonce), its body key, and its plaintext with
// the record views into it, unreadable until a rewrite of that file takes
// them.
struct EnDecrypt::ReadForUpdate::Held {
  std::size_t file_size = 0;
  unsigned char header[endecrypt::kHeaderSize] = {};
  unsigned char tag[endecrypt::kTagSize] = {};
  endecrypt::SecureBuffer body_key;
  endecrypt::SecureBuffer plaintext;
  std::vector<endecrypt::RecordView> views;  // into `plaintext`

  // True when `file`, read under the writers' lock and unlocked with
  // `key`, is the store these records were opened from.
  bool Names(const std::vector<unsigned char>& file, const endecrypt::SecureBuffer& key) const {
    return file.size() == file_size && file.size() >= sizeof(header) + sizeof(tag) &&
           std::memcmp(file.data(), header, sizeof(header)) == 0 &&
           std::memcmp(file.data() + file.size() - sizeof(tag), tag, sizeof(tag)) == 0 &&
           key.size() == body_key.size() &&
           sodium_memcmp(key.data(), body_key.data(), key.size()) == 0;
  }
};

EnDecrypt::ReadForUpdate::ReadForUpdate() = default;
EnDecrypt::ReadForUpdate::~ReadForUpdate() = default;

namespace {

using Held = EnDecrypt::ReadForUpdate::Held;
using endecrypt::FileResult;
using endecrypt::RecordView;
using endecrypt::SecureBuffer;
using endecrypt::StoreContext;
using endecrypt::StoreHeader;
using Records = std::map<std::string, std::string>;
namespace status = endecrypt_status;

static_assert(endecrypt::kNonceSize == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
static_assert(endecrypt::kTagSize == crypto_aead_xchacha20poly1305_ietf_ABYTES);

// Bounds the retries of a writer that keeps losing the race to create a
// store to writers that then remove it again.
constexpr int kMaxWriteAttempts = 100;

// An empty passphrase selects the host key.
EncryptionMode ModeOf(const std::string& passphrase) {
  return passphrase.empty() ? kUnattendedMode : kAttendedMode;
}

// Stores in `body_key` the body key of the store with `header`, from the
// caller's passphrase or, for an unattended store, the host key. Returns
// kWrongPassphrase when the key check shows the key is not the store's.
[[nodiscard]] StoreStatus UnlockStore(StoreContext& context, const StoreHeader& header,
                                      const std::string& passphrase, SecureBuffer& body_key) {
  SecureBuffer master;
  StoreStatus result;
  if (header.mode == kAttendedMode) {
    result = endecrypt::DerivePassphraseKey(&context.GetDerivedKeys(), passphrase, header.salt,
                                            {header.opslimit, header.memlimit}, master);
  } else {
    // Another host's key is told apart by its id without deriving
    // anything; during a rotation the id also picks the old key or the new.
    SecureBuffer host_key;
    if ((result = endecrypt::LoadHostKeyById(context, header.key_id, host_key)) != status::kOk) {
      return result;
    }
    result = endecrypt::DeriveHostSubkey(host_key, header.salt, master);
  }
  unsigned char key_check[endecrypt::kKeyCheckSize];
  if (result == status::kOk) result = endecrypt::DeriveStoreKeys(master, body_key, key_check);
  if (result != status::kOk) return result;
  // The key check is authenticated with the rest of the header only once
  // the body opens; comparing it first is what lets a wrong key (13) be
  // told from a damaged body (2).
  return sodium_memcmp(key_check, header.key_check, sizeof(key_check)) == 0
             ? status::kOk
             : status::kWrongPassphrase;
}

// Fills a fresh header for a new store in the mode of `passphrase`: a new
// salt, the configured costs or the host key's id, and the key check; and
// stores the body key in `body_key`.
[[nodiscard]] StoreStatus PrepareNewKey(StoreContext& context, const std::string& passphrase,
                                        StoreHeader& header, SecureBuffer& body_key) {
  header = StoreHeader{};
  header.mode = ModeOf(passphrase);
  randombytes_buf(header.salt, sizeof(header.salt));
  SecureBuffer master;
  StoreStatus result;
  if (header.mode == kAttendedMode) {
    endecrypt::KdfCosts costs;
    if ((result = endecrypt::ReadKdfCosts(context, costs)) != status::kOk) return result;
    header.opslimit = costs.opslimit;
    header.memlimit = costs.memlimit;
    result = endecrypt::DerivePassphraseKey(&context.GetDerivedKeys(), passphrase, header.salt,
                                            costs, master);
  } else {
    SecureBuffer host_key;
    result = endecrypt::LoadOrCreateCurrentHostKey(context, host_key, header.key_id);
    if (result != status::kOk) return result;
    result = endecrypt::DeriveHostSubkey(host_key, header.salt, master);
  }
  if (result != status::kOk) return result;
  return endecrypt::DeriveStoreKeys(master, body_key, header.key_check);
}

// Opens the body of `file`, whose header `header` was decoded from it, into
// `plaintext`. kInvalidFile when the body or any header byte was altered.
[[nodiscard]] StoreStatus OpenBody(const std::vector<unsigned char>& file,
                                   const StoreHeader& header, const SecureBuffer& body_key,
                                   SecureBuffer& plaintext) {
  if (!plaintext.Allocate(header.body_length - endecrypt::kTagSize)) return status::kInternal;
  unsigned long long opened = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(
          plaintext.data(), &opened, nullptr, file.data() + endecrypt::kHeaderSize,
          header.body_length, file.data(), endecrypt::kHeaderSize, header.nonce,
          body_key.data()) != 0) {
    return status::kInvalidFile;
  }
  return status::kOk;
}

// Encodes `records` into `file` and seals them there, in place, under
// `body_key` with a fresh nonce, the whole header serving as associated
// data. The plaintext exists in `file` only until it is sealed: one copy
// fewer of every value, and no second buffer the size of the store.
[[nodiscard]] StoreStatus SealRecords(StoreHeader header, const SecureBuffer& body_key,
                                      const std::vector<RecordView>& records,
                                      std::vector<unsigned char>& file) {
  const StoreStatus encoded = endecrypt::EncodeRecords(records, file);
  if (encoded != status::kOk) return encoded;
  randombytes_buf(header.nonce, sizeof(header.nonce));
  header.body_length = file.size() - endecrypt::kHeaderSize;
  endecrypt::EncodeHeader(header, file.data());
  unsigned char* body = file.data() + endecrypt::kHeaderSize;
  unsigned long long sealed = 0;
  if (crypto_aead_xchacha20poly1305_ietf_encrypt(
          body, &sealed, body, header.body_length - endecrypt::kTagSize, file.data(),
          endecrypt::kHeaderSize, nullptr, header.nonce, body_key.data()) != 0) {
    sodium_memzero(file.data(), file.size());
    return status::kInternal;
  }
  return status::kOk;
}

// Opens the body of `file` with `body_key`, the key of `header`, and parses
// the records. The views in `records` point into `plaintext`.
[[nodiscard]] StoreStatus OpenContents(const std::vector<unsigned char>& file,
                                       const StoreHeader& header, const SecureBuffer& body_key,
                                       SecureBuffer& plaintext, std::vector<RecordView>& records) {
  StoreStatus result = OpenBody(file, header, body_key, plaintext);
  if (result == status::kOk) {
    result = endecrypt::DecodeRecords(plaintext.data(), plaintext.size(), records);
  }
  return result;
}

// Checks that a call made with `passphrase` may open the store with
// `header` and stores its body key in `body_key`: the mode must match and
// the key must pass the key check.
[[nodiscard]] StoreStatus UnlockForCall(StoreContext& context, const StoreHeader& header,
                                        const std::string& passphrase, SecureBuffer& body_key) {
  // Mixing modes in one file is refused, not converted: a store sealed
  // under a passphrase promises that nobody without it can read or rewrite
  // it, and a host-key write (or read) would quietly break that promise.
  if (header.mode != ModeOf(passphrase)) return status::kModeConflict;
  return UnlockStore(context, header, passphrase, body_key);
}

// Opens an existing store's contents for a call made with `passphrase`:
// the mode must match, the key must pass the key check, the body must
// open, and the records must parse. The views in `records` point into
// `plaintext`.
[[nodiscard]] StoreStatus OpenStore(StoreContext& context, const std::vector<unsigned char>& file,
                                    const StoreHeader& header, const std::string& passphrase,
                                    SecureBuffer& body_key, SecureBuffer& plaintext,
                                    std::vector<RecordView>& records) {
  StoreStatus result = UnlockForCall(context, header, passphrase, body_key);
  if (result != status::kOk) return result;
  return OpenContents(file, header, body_key, plaintext, records);
}

std::vector<RecordView> ViewsOf(const Records& records) {
  std::vector<RecordView> views;
  views.reserve(records.size());
  for (const auto& [key, value] : records) views.emplace_back(key, value);
  return views;
}

// True, with every value of `records` put in place in `stored`, when each
// of their keys is stored already: the usual update, which then needs no
// second list. False when a key is new; values already put in place then
// are the ones the merge puts there too.
bool UpdateInPlace(std::vector<RecordView>& stored, const Records& records) {
  bool all_stored = true;
  std::size_t left = records.size();
  key_order::WalkInKeyOrder(
      stored, records, [&](const RecordView&) { return left != 0; },
      [&](RecordView& old_record, const Records::value_type& record) {
        old_record.second = record.second;
        return --left != 0;
      },
      [&](const Records::value_type&) { return all_stored = false; });
  return all_stored;
}

// The records of a rewrite, in ascending key order. With `keep_stored`,
// stored records whose key is not in `records` stay; keys in `records`
// are added or take the new value. Without it, `records` replaces the store.
// `stored` may be changed or emptied.
std::vector<RecordView> MergeRecords(std::vector<RecordView>& stored, const Records& records,
                                     bool keep_stored) {
  if (!keep_stored) return ViewsOf(records);
  if (UpdateInPlace(stored, records)) return std::move(stored);
  std::vector<RecordView> merged;
  merged.reserve(stored.size() + records.size());
  const auto take_new = [&](const Records::value_type& record) {
    merged.emplace_back(record.first, record.second);
  };
  key_order::WalkInKeyOrder(
      stored, records, [&](const RecordView& old_record) { merged.push_back(old_record); },
      [&](const RecordView&, const Records::value_type& record) { take_new(record); }, take_new);
  return merged;
}

// Writes a new store as the locked file `lock`, which was not found. Sets
// `lost_race` when another writer created one first; the caller then
// updates that one instead.
[[nodiscard]] StoreStatus CreateStore(StoreContext& context, const Records& records,
                                      endecrypt::LockedFile& lock, const std::string& passphrase,
                                      bool& lost_race) {
  StoreHeader header;
  SecureBuffer body_key;
  std::vector<unsigned char> file;
  StoreStatus result = PrepareNewKey(context, passphrase, header, body_key);
  if (result == status::kOk) result = SealRecords(header, body_key, ViewsOf(records), file);
  if (result != status::kOk) return result;
  const FileResult created = endecrypt::CreateLockedFile(context, lock, file.data(), file.size());
  lost_race = created == FileResult::kExists;
  return lost_race ? StoreStatus(status::kWriteFailed) : endecrypt::FromWriteResult(created);
}

// Rewrites the existing store held in `file`: opens it with `passphrase`,
// lets `edit` change the record list in place (returning a status to stop
// with), and seals the result atomically. With `new_passphrase` the store is
// sealed under a fresh salt and that key; without it the key read is kept,
// so an update runs Argon2id once, unless the configured costs changed.
// `file` is released once opened, to keep the peak of memory down.
// With `read` (what Decrypt opened for this update) and `file` still that
// store, the records are taken from `read` instead of opened again; either
// way `read` is emptied (wiping what is not taken) before the edit, and
// records taken from it are wiped with the others once the store is sealed.
// The store is replaced only while its name still refers to the file read.
// REQUIRES: `lock` holds the store's writer lock, taken by LockAndReadFile.
template <typename Edit>
[[nodiscard]] StoreStatus RewriteStore(StoreContext& context, std::vector<unsigned char>& file,
                                       endecrypt::LockedFile& lock, const std::string& passphrase,
                                       const std::string* new_passphrase, Edit edit,
                                       std::unique_ptr<Held>&& read = nullptr) {
  StoreHeader header;
  SecureBuffer body_key;
  SecureBuffer old_plaintext;
  std::vector<RecordView> records;
  StoreStatus result = endecrypt::DecodeHeader(file.data(), file.size(), header);
  if (result == status::kOk) result = UnlockForCall(context, header, passphrase, body_key);
  if (result == status::kOk && read != nullptr && read->Names(file, body_key) &&
      read->plaintext.SetAccess(true)) {
    old_plaintext = std::move(read->plaintext);  // the views keep pointing into it
    records.swap(read->views);
  } else if (result == status::kOk) {
    result = OpenContents(file, header, body_key, old_plaintext, records);
  }
  read.reset();
  std::vector<unsigned char>().swap(file);
  bool fresh_key = new_passphrase != nullptr;
  if (result == status::kOk && !fresh_key && header.mode == kAttendedMode) {
    // Changed costs in the configuration are the one reason for an update
    // to derive again, under a fresh salt.
    endecrypt::KdfCosts costs;
    result = endecrypt::ReadKdfCosts(context, costs);
    fresh_key = costs.opslimit != header.opslimit || costs.memlimit != header.memlimit;
  }
  if (result == status::kOk && !fresh_key && header.mode == kUnattendedMode) {
    // A store opened with a key the ring keeps moves to the current key
    // with this write, so old keys are needed less and less.
    bool current = false;
    result = endecrypt::IsCurrentHostKeyId(context, header.key_id, current);
    fresh_key = !current;
  }
  if (result == status::kOk) result = edit(records);
  if (result == status::kOk && fresh_key) {
    result = PrepareNewKey(context, new_passphrase != nullptr ? *new_passphrase : passphrase,
                           header, body_key);
  }
  if (result != status::kOk) return result;
  std::vector<unsigned char> rewritten;
  result = SealRecords(header, body_key, records, rewritten);
  // Sealed: the old records are wiped and freed before the file is written.
  records.clear();
  old_plaintext = SecureBuffer();
  if (result != status::kOk) return result;
  return endecrypt::FromWriteResult(
      endecrypt::ReplaceLockedFile(context, lock, rewritten.data(), rewritten.size()));
}

// Runs `write` under the writers' lock of the store at `path` with the
// store read (`read` says how that went, `file` holds it), the host key
// loaded before the lock when `host_key_wanted` (PreloadedHostKey). Starts
// over when the key file changed meanwhile (a rotation: a store is never
// sealed under a key that has left the file) or when `write` sets `again`
// (it lost the race to create the store), at most kMaxWriteAttempts times.
template <typename Write>
[[nodiscard]] StoreStatus WriteUnderLock(StoreContext& context, const std::string& path,
                                         bool host_key_wanted, Write write) {
  int wait_seconds = 0;
  const StoreStatus configured = endecrypt::ReadLockWaitSeconds(context, wait_seconds);
  if (configured != status::kOk) return configured;
  for (int attempt = 0; attempt < kMaxWriteAttempts; ++attempt) {
    const endecrypt::PreloadedHostKey host_key(context, host_key_wanted);  // before any lock
    endecrypt::LockedFile lock;
    std::vector<unsigned char> file;
    lock.SetWaitSeconds(wait_seconds);
    const FileResult read =
        endecrypt::LockAndReadFile(context, path, endecrypt::kMaxStoreSize, lock, file);
    if (!host_key.StillCurrent()) continue;
    bool again = false;
    StoreStatus result = write(read, lock, file, again);
    if (!again) return result;
  }
  return status::kWriteFailed;
}

// Writes `records` as EnDecrypt::Encrypt does; `decrypted` as RewriteStore
// takes it, wiped by the time this returns.
[[nodiscard]] StoreStatus WriteStore(StoreContext& context, const Records& records,
                                     const std::string& path, const std::string& passphrase,
                                     bool keep_stored, std::unique_ptr<Held> decrypted) {
  return WriteUnderLock(context, path, passphrase.empty(),
                        [&](const FileResult& read, endecrypt::LockedFile& lock,
                            std::vector<unsigned char>& file, bool& again) -> StoreStatus {
                          if (read == FileResult::kOk) {
                            const auto merge = [&](std::vector<RecordView>& stored) {
                              stored = MergeRecords(stored, records, keep_stored);
                              return StoreStatus();
                            };
                            return RewriteStore(context, file, lock, passphrase, nullptr, merge,
                                                std::move(decrypted));
                          }
                          // A path that can name no store file is a write that cannot be
                          // done, not a store that cannot be read.
                          if (read == FileResult::kBadPath) return endecrypt::FromWriteResult(read);
                          if (read != FileResult::kNotFound) return endecrypt::FromReadResult(read);
                          return CreateStore(context, records, lock, passphrase, again);
                        });
}

// The mode is in the header: the rest of the file is not read.
[[nodiscard]] StoreStatus ReadMode(StoreContext& context, const std::string& path,
                                   EncryptionMode& mode) {
  StoreHeader header;
  const StoreStatus result = endecrypt::ReadStoreHeader(context, path, header);
  if (result == status::kOk) mode = header.mode;
  return result;
}

// An existing store read whole and opened, for the operations that only
// read it. The views point into `plaintext`.
struct OpenedStore {
  std::vector<unsigned char> file;
  StoreHeader header;
  SecureBuffer body_key;
  SecureBuffer plaintext;
  std::vector<RecordView> views;
};

[[nodiscard]] StoreStatus ReadAndOpenStore(StoreContext& context, const std::string& path,
                                           const std::string& passphrase, OpenedStore& store) {
  StoreStatus result = endecrypt::ReadStoreFile(context, path, store.file, store.header);
  if (result != status::kOk) return result;
  return OpenStore(context, store.file, store.header, passphrase, store.body_key, store.plaintext,
                   store.views);
}

// Opens the store and hands its records, as views, to `read`; with `keep`,
// what was opened goes there too (see ReadForUpdate), unless its memory
// cannot be locked away.
template <typename Read>
[[nodiscard]] StoreStatus ReadRecordViews(StoreContext& context, const std::string& path,
                                          const std::string& passphrase, Read read,
                                          std::unique_ptr<Held>* keep) {
  if (keep != nullptr) keep->reset();
  OpenedStore store;
  StoreStatus result = ReadAndOpenStore(context, path, passphrase, store);
  if (result != status::kOk) return result;
  read(static_cast<const std::vector<RecordView>&>(store.views));
  if (keep == nullptr || !store.plaintext.SetAccess(false)) return status::kOk;
  auto held = std::make_unique<Held>();
  held->file_size = store.file.size();
  std::memcpy(held->header, store.file.data(), sizeof(held->header));
  std::memcpy(held->tag, store.file.data() + store.file.size() - sizeof(held->tag),
              sizeof(held->tag));
  held->body_key = std::move(store.body_key);
  held->plaintext = std::move(store.plaintext);  // the views keep pointing into it
  held->views.swap(store.views);
  *keep = std::move(held);
  return status::kOk;
}

// Reads the store's records into `records`, as ReadRecordViews.
[[nodiscard]] StoreStatus ReadRecords(StoreContext& context, const std::string& path,
                                      Records& records, const std::string& passphrase,
                                      std::unique_ptr<Held>* keep) {
  return ReadRecordViews(
      context, path, passphrase,
      [&records](const std::vector<RecordView>& views) {
        // Plaintext handed over in std::string memory must not linger on
        // any path.
        Records opened;
        const ScopedWipe wiper(opened);
        for (const auto& [key, value] : views) opened.emplace_hint(opened.end(), key, value);
        records.swap(opened);
      },
      keep);
}

}  // namespace

namespace endecrypt {

StoreEngine::StoreEngine(BuildKey /*key*/, std::unique_ptr<StoreContext> owned)
    : owned(std::move(owned)), context(*this->owned) {}

StoreEngine::~StoreEngine() = default;

StoreStatus StoreEngine::Open(const StoreOptions& options, std::unique_ptr<StoreEngine>& engine) {
  if (!StartLibrary()) return status::kInternal;
  return Guarded([&] {
    engine = std::make_unique<StoreEngine>(BuildKey{}, std::make_unique<StoreContext>(options));
    return StoreStatus();
  });
}

StoreEngine& StoreEngine::Default() {
  static StoreEngine engine(BuildKey{}, std::make_unique<StoreContext>(StoreOptions{}));
  return engine;
}

StoreStatus StoreEngine::Run(const std::function<StoreStatus()>& operation) {
  return GuardedEntry(operation);
}

unsigned long long StoreEngine::GetKeyDerivationCount() {
  return context.GetDerivedKeys().GetDerivationCount();
}

void StoreEngine::ForgetDerivedKeys() {
  static_cast<void>(Run([this] {
    context.GetDerivedKeys().Forget();
    return StoreStatus();
  }));
}

StoreStatus StoreEngine::GetFileLastEncryptionMode(const std::string& path, EncryptionMode& mode) {
  return Run([&] { return ReadMode(context, path, mode); });
}

StoreStatus StoreEngine::Decrypt(const std::string& path,
                                 std::map<std::string, std::string>& records,
                                 const std::string& passphrase, ReadForUpdate* keep) {
  return Run([&] {
    return ReadRecords(context, path, records, passphrase, keep != nullptr ? &keep->held : nullptr);
  });
}

StoreStatus StoreEngine::ViewRecords(const std::string& path, const std::string& passphrase,
                                     const std::function<void(const RecordViews&)>& read,
                                     ReadForUpdate* keep) {
  return Run([&] {
    return ReadRecordViews(context, path, passphrase, read,
                           keep != nullptr ? &keep->held : nullptr);
  });
}

StoreStatus StoreEngine::Encrypt(const std::map<std::string, std::string>& records,
                                 const std::string& path, const std::string& passphrase, bool flag,
                                 ReadForUpdate* read) {
  std::unique_ptr<Held> held = read != nullptr ? std::move(read->held) : nullptr;
  return Run([&] { return WriteStore(context, records, path, passphrase, flag, std::move(held)); });
}

// Administration of an existing store: inspection, removal and re-keying.

namespace {

// Rewrites the store at `path` under its writers' lock, as RewriteStore.
template <typename Edit>
[[nodiscard]] StoreStatus EditStore(StoreContext& context, const std::string& path,
                                    const std::string& passphrase,
                                    const std::string* new_passphrase, Edit edit) {
  const bool host_key_wanted =
      passphrase.empty() || (new_passphrase != nullptr && new_passphrase->empty());
  return WriteUnderLock(context, path, host_key_wanted,
                        [&](const FileResult& read, endecrypt::LockedFile& lock,
                            std::vector<unsigned char>& file, bool&) -> StoreStatus {
                          if (read != FileResult::kOk) return endecrypt::FromReadResult(read);
                          return RewriteStore(context, file, lock, passphrase, new_passphrase,
                                              edit);
                        });
}

// The record of `key` in the ascending list `records`, or its end.
std::vector<RecordView>::iterator FindRecord(std::vector<RecordView>& records,
                                             std::string_view key) {
  const auto it = std::lower_bound(
      records.begin(), records.end(), key,
      [](const RecordView& record, std::string_view wanted) { return record.first < wanted; });
  return it != records.end() && it->first == key ? it : records.end();
}

// Drops the records named by `keys` from the ascending list `records`;
// kRecordAbsent, with `records` unchanged, when one of them is missing.
[[nodiscard]] StoreStatus DropRecords(const std::vector<std::string>& keys,
                                      std::vector<RecordView>& records) {
  std::vector<bool> dropped(records.size(), false);
  for (const std::string& key : keys) {
    const auto it = FindRecord(records, key);
    if (it == records.end()) return status::kRecordAbsent;
    dropped[static_cast<std::size_t>(it - records.begin())] = true;
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!dropped[i]) records[kept++] = records[i];
  }
  records.resize(kept);
  return status::kOk;
}

// Applies an edit to the ascending list `records` as EnDecrypt::ApplyEdit
// describes; kConflict, with `records` unchanged, when one of the changed
// keys no longer shows what the edit started from.
[[nodiscard]] StoreStatus ApplyChanges(const std::vector<std::string>& changed,
                                       const Records& before, const Records& after,
                                       std::vector<RecordView>& records,
                                       std::vector<std::string>& conflicts) {
  std::vector<std::string> clashes;
  for (const std::string& key : changed) {
    const auto stored = FindRecord(records, key);
    const auto was = before.find(key);
    const bool unchanged = stored == records.end()
                               ? was == before.end()
                               : was != before.end() && stored->second == was->second;
    if (!unchanged) clashes.push_back(key);
  }
  if (!clashes.empty()) {
    conflicts.swap(clashes);
    return status::kConflict;
  }
  // The records the edit did not touch, then those it left, merged in order.
  std::vector<RecordView> untouched;
  untouched.reserve(records.size());
  key_order::WalkInKeyOrder(
      records, changed, [&](const RecordView& record) { untouched.push_back(record); },
      [](const RecordView&, const std::string&) {}, [](const std::string&) {});
  std::vector<RecordView> merged;
  merged.reserve(untouched.size() + after.size());
  const auto take_left = [&](const Records::value_type& record) {
    merged.emplace_back(record.first, record.second);
  };
  key_order::WalkInKeyOrder(
      untouched, after, [&](const RecordView& record) { merged.push_back(record); },
      [&](const RecordView&, const Records::value_type& record) { take_left(record); }, take_left);
  records.swap(merged);
  return status::kOk;
}

// Opens the store at `path` and fills `info` and, when not null, `keys`.
[[nodiscard]] StoreStatus InspectStore(StoreContext& context, const std::string& path,
                                       const std::string& passphrase, EnDecrypt::StoreInfo& info,
                                       std::vector<std::string>* keys) {
  OpenedStore store;
  StoreStatus result = ReadAndOpenStore(context, path, passphrase, store);
  if (result != status::kOk) return result;
  const StoreHeader& header = store.header;
  const std::vector<RecordView>& views = store.views;
  if (keys != nullptr) {
    std::vector<std::string> names;
    names.reserve(views.size());
    for (const auto& [key, value] : views) names.emplace_back(key);
    keys->swap(names);
  }
  info.mode = header.mode;
  info.opslimit = header.opslimit;
  info.memlimit = header.memlimit;
  info.record_count = views.size();
  return status::kOk;
}

}  // namespace

StoreStatus StoreEngine::Inspect(const std::string& path, const std::string& passphrase,
                                 StoreInfo& info) {
  return Run([&] { return InspectStore(context, path, passphrase, info, nullptr); });
}

StoreStatus StoreEngine::ListKeys(const std::string& path, const std::string& passphrase,
                                  std::vector<std::string>& keys) {
  StoreInfo info;
  return Run([&] { return InspectStore(context, path, passphrase, info, &keys); });
}

StoreStatus StoreEngine::GetValue(const std::string& path, const std::string& passphrase,
                                  const std::string& key, std::string& value) {
  return Run([&]() -> StoreStatus {
    OpenedStore store;
    StoreStatus result = ReadAndOpenStore(context, path, passphrase, store);
    if (result != status::kOk) return result;
    const auto found = FindRecord(store.views, key);
    if (found == store.views.end()) return status::kRecordAbsent;
    WipeString(value);
    value.assign(found->second.data(), found->second.size());
    return status::kOk;
  });
}

StoreStatus StoreEngine::Remove(const std::string& path, const std::vector<std::string>& keys,
                                const std::string& passphrase) {
  return Run([&] {
    return EditStore(context, path, passphrase, nullptr,
                     [&](std::vector<RecordView>& records) { return DropRecords(keys, records); });
  });
}

StoreStatus StoreEngine::ApplyEdit(const std::string& path, const std::string& passphrase,
                                   const std::vector<std::string>& changed, const Records& before,
                                   const Records& after, std::vector<std::string>& conflicts) {
  return Run([&] {
    return EditStore(context, path, passphrase, nullptr, [&](std::vector<RecordView>& records) {
      return ApplyChanges(changed, before, after, records, conflicts);
    });
  });
}

StoreStatus StoreEngine::Rekey(const std::string& path, const std::string& passphrase,
                               const std::string& new_passphrase) {
  return Run([&] {
    return EditStore(context, path, passphrase, &new_passphrase,
                     [](std::vector<RecordView>&) { return status::kOk; });
  });
}

}  // namespace endecrypt
