// Writing plaintext records into their stores: the pieces under encrypt's
// steps, which import's loop (RecordWriter) goes through too. A type's
// store is located (StoreLocation.h) and asked once for its mode
// (OpenStore.h, FindStore): an absent store is a new one, which gets its
// passphrase in attended mode; an existing store is opened in the run's
// mode (OpenExistingStore), decrypted to count what the write changes
// (CountStoreChanges), and the update confirmed unless "quiet" was given;
// then the records are merged into the store (WriteTypeRecords) and the
// success line suggests deleting the plaintext.
// Driven from one thread; holds no lock.
#ifndef SRC_MISC_COMMON_RECORDWRITER_H_
#define SRC_MISC_COMMON_RECORDWRITER_H_

#include <cstdint>
#include <string>

#include "Src/Misc/Common/CommandEnv.h"
#include "Src/Misc/Common/OpenStore.h"
#include "Src/Misc/Common/RecordReaders.h"
#include "Src/Misc/Common/StoreLocation.h"
#include "host/EnDecrypt.h"
#include "plugin/basic_app.h"

// The store `env` runs against; null, after a log line, when the store
// library could not start.
[[nodiscard]] EnDecrypt* GetStoreInstance(const CommandEnv& env);

// Decrypts the store at `path` with `passphrase` and shows on the console
// what merging `records` into it changes ("add: N, update: M"). The stored
// records are looked at where the store library opened them, never copied
// out; with `read`, what was opened is kept there for WriteTypeRecords of the
// same store, which then need not decrypt it again. Returns map_status of
// the decryption; a failure is logged.
[[nodiscard]] uint32_t CountStoreChanges(EnDecrypt& store, const std::string& path,
                                         const std::string& passphrase, const RecordMap& records,
                                         EnDecrypt::ReadForUpdate* read,
                                         const StoreStatusMap& map_status);

// Merges `records` into the store at `path` (made when absent), sealed with
// `passphrase`; stored records absent from `records` stay. With `read`
// (CountStoreChanges of the same store) the stored records come from there
// while the store is still that file. The write is recorded in the audit
// log as `command`'s once it is durable or refused. Returns map_status of
// the write.
[[nodiscard]] uint32_t WriteTypeRecords(EnDecrypt& store, const std::string& command,
                                        const RecordMap& records, const std::string& path,
                                        const std::string& passphrase,
                                        EnDecrypt::ReadForUpdate* read,
                                        const StoreStatusMap& map_status);

// The line that ends a type written into the store at `path`.
void ShowTypeWritten(const std::string& path);

// Import's writing of every type it read, in type order, with the prompts
// of every command but encrypt: a new store's passphrase refused unless
// encrypt would read it back unchanged, an update asked (y/N). Stops at the
// first type that fails. `options` are the run's, of which "unattended"
// and "quiet" are read.
class RecordWriter {
 public:
  // `records` are written into `env`'s store, with its keys typed at the
  // prompts.
  RecordWriter(const HostContext& context, TypedRecords& records, const CommandEnv& env = {});
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // Returns a catalogue code.
  [[nodiscard]] uint32_t WriteAllTypes();

 private:
  // The checks before one type's store is written; `read` receives the
  // update's decryption for the write.
  [[nodiscard]] uint32_t PreCheck(EncryptionMode mode, const std::string& path,
                                  std::string& passphrase, FileType type,
                                  EnDecrypt::ReadForUpdate& read);

  const HostContext& context;
  TypedRecords& records;
  const CommandEnv env;
};

#endif  // SRC_MISC_COMMON_RECORDWRITER_H_
