// ENCRYPT, the encrypt command: reads the plaintext file named by the option
// "configfile", finds its type by trying every reader on it, and writes the
// records of each type found into that type's encrypted store.
// Driven from one thread by the host; holds no lock.
#ifndef SRC_MISC_ENCRYPT_ENCRYPT_H_
#define SRC_MISC_ENCRYPT_ENCRYPT_H_

#include <cstdint>
#include <map>
#include <string>

#include "Src/Misc/Common/RecordWriter.h"
#include "Src/Misc/Common/StoreLocation.h"
#include "plugin/basic_app.h"

class EnDecrypt;

class ENCRYPT : public basic_app {
 public:
  ENCRYPT();
  ~ENCRYPT() override;

  CommandResult SetParameters(const HostContext& context) override;
  CommandResult Run() override;
  CommandResult Finish() override;

 private:
  // Tests, benchmarks and fuzzers reach the steps below through this one
  // friend (tests/support/EncryptProbe.h).
  friend class EncryptProbe;

  // A reader stores the records it finds under its own type in file_records,
  // or leaves file_records untouched. It returns ERR_INVALID_FILE for a
  // file that is not JSON or cannot be read, which ends the intake; its
  // other codes are not looked at.
  using Reader = uint32_t (ENCRYPT::*)(const std::string& path);

  // The procedure behind Run. Every step returns a catalogue code.
  [[nodiscard]] uint32_t EncryptProc();
  [[nodiscard]] uint32_t RunEncrypt(FileType type, const std::string& path,
                               const std::string& passphrase);

  // Checks before a type is written: a new store gets its passphrase; an
  // existing one is checked for its mode, decrypted to count what changes,
  // and confirmed. `passphrase` is written only by GetUserPassphrase.
  [[nodiscard]] uint32_t EncryptPreCheck(const int& mode, const std::string& path,
                                         std::string& passphrase, const FileType& type);
  [[nodiscard]] uint32_t EncryptUpdatePreCheck(const int& mode, const std::string& path,
                                               std::string& passphrase, const FileType& type);
  [[nodiscard]] uint32_t GetUpdateDetailInfo(const std::string& path,
                                             const std::string& passphrase, const FileType& type);

  // Console prompts.
  [[nodiscard]] CommandResult GetUserPassphrase(std::string& passphrase, const std::string& path);
  [[nodiscard]] bool ConfirmUpdate(const std::string& path);

  // A store status as a common-catalogue result.
  [[nodiscard]] static CommandResult MapEncryptionResult(int value);

  // Input intake and its readers.
  [[nodiscard]] uint32_t ReadFileIntoMemory();
  uint32_t ReadCredentialFile(const std::string& path);
  uint32_t ReadSensitiveSettingFile(const std::string& path);

  // Where the encrypted file of a type lives; `path` comes in empty.
  [[nodiscard]] uint32_t GetEncryptedFilePath(std::string key, std::string& path);

  // The record writer over this run's context and records, whose steps
  // the methods above run.
  [[nodiscard]] RecordWriter Writer();

  // The store instance; null, after a log line, when the store library
  // could not start. A step then returns ERR_INTERNAL.
  [[nodiscard]] static EnDecrypt* GetStoreInstance();

  std::map<FileType, Reader> file_readers;
  // Plaintext values: wiped when the object dies.
  std::map<FileType, RecordMap> file_records;
  HostContext context;
  // The store and keyboard the run uses: the process's and the console's
  // unless a test hands others (EncryptProbe).
  CommandEnv env;
};

#endif  // SRC_MISC_ENCRYPT_ENCRYPT_H_
