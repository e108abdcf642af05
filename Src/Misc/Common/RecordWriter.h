// Writing plaintext records into their stores, the procedure of encrypt
// that import follows too: for every type read, the store's location, the
// pre-check (a new store gets its passphrase in attended mode; an existing
// store is opened in the run's mode, decrypted to count what changes, and
// the update confirmed unless "quiet" was given), the merge into the store,
// and the success line that suggests deleting the plaintext.
// Driven from one thread; holds no lock.
#ifndef SRC_MISC_COMMON_RECORDWRITER_H_
#define SRC_MISC_COMMON_RECORDWRITER_H_

#include <cstdint>
#include <string>

#include "Src/Misc/Common/CommandEnv.h"
#include "Src/Misc/Common/RecordReaders.h"
#include "Src/Misc/Common/StoreLocation.h"
#include "host/EnDecrypt.h"
#include "plugin/basic_app.h"

class RecordWriter {
 public:
  // Whose prompts the writer asks with.
  enum class Prompts {
    kEncrypts,  // encrypt's own, as they always were: Enter confirms an update
    kOurs,      // every other command's: an update asked (y/N), and input that
                // ends before a passphrase is typed is no passphrase given
  };

  // `owner` is the command's class name, which the trace lines of every
  // step carry ("ENCRYPT::EncryptPreCheck"); `options` are the run's, of
  // which "unattended" and "quiet" are read; `records` are written, into
  // `env`'s store, with its keys typed at the prompts.
  RecordWriter(const char* owner, const HostContext& context, TypedRecords& records,
               Prompts prompts = Prompts::kEncrypts, const CommandEnv& env = {});
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // Writes every type of the records into its store, in type order; stops
  // at the first type that fails. Returns a catalogue code.
  [[nodiscard]] uint32_t WriteAllTypes();

  // The steps of WriteAllTypes, each returning a catalogue code. `mode` is
  // an EncryptionMode, held as an int by encrypt's steps that call these.
  // With `read`, the pre-check's decryption of an existing store goes there,
  // and Write hands it to the store's rewrite, which then need not decrypt
  // the same file again; WriteAllTypes keeps one per type, for that type
  // only.
  [[nodiscard]] uint32_t LocateTypeStore(const std::string& key, std::string& path);
  [[nodiscard]] uint32_t PreCheck(int mode, const std::string& path, std::string& passphrase,
                                  FileType type, EnDecrypt::ReadForUpdate* read = nullptr);
  [[nodiscard]] uint32_t UpdatePreCheck(int mode, const std::string& path,
                                        std::string& passphrase, FileType type,
                                        EnDecrypt::ReadForUpdate* read = nullptr);
  [[nodiscard]] uint32_t CountUpdate(const std::string& path, const std::string& passphrase,
                                     FileType type, EnDecrypt::ReadForUpdate* read = nullptr);
  [[nodiscard]] uint32_t Write(FileType type, const std::string& path,
                               const std::string& passphrase,
                               EnDecrypt::ReadForUpdate* read = nullptr);
  [[nodiscard]] uint32_t AskStorePassphrase(std::string& passphrase, const std::string& path);
  [[nodiscard]] bool ConfirmUpdate(const std::string& path);

  // The store instance; null, after a log line, when the store library
  // could not start.
  [[nodiscard]] static EnDecrypt* GetStoreInstance();

 private:
  // As GetStoreInstance, of `env`'s store.
  [[nodiscard]] EnDecrypt* GetStore() const;

  const char* const owner;
  const HostContext& context;
  TypedRecords& records;
  const Prompts prompts;
  const CommandEnv env;
};

#endif  // SRC_MISC_COMMON_RECORDWRITER_H_
