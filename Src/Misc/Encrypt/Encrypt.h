// ENCRYPT, the encrypt command: reads the plaintext file named by the option
// "configfile", finds its type by trying every reader on it, and writes the
// records of each type found into that type's encrypted store.
// Driven from one thread by the host; holds no lock. It runs against the
// process's store (EnDecrypt::GetInstance()) and reads typed keys from the
// console. What a type's pre-check found of its store is kept beside the
// object, per thread (EncryptVisit.h).
#ifndef SRC_MISC_ENCRYPT_ENCRYPT_H_
#define SRC_MISC_ENCRYPT_ENCRYPT_H_

#include <cstdint>
#include <map>
#include <string>

#include "Src/Misc/Common/RecordReaders.h"
#include "Src/Misc/Common/StoreLocation.h"
#include "host/StoreVocabulary.h"
#include "plugin/basic_app.h"

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
  // and confirmed. `passphrase` is written only by GetUserPassphrase. The
  // mode is an EncryptionMode held as an int.
  [[nodiscard]] uint32_t EncryptPreCheck(const int& mode, const std::string& path,
                                         std::string& passphrase, const FileType& type);
  [[nodiscard]] uint32_t EncryptUpdatePreCheck(const int& mode, const std::string& path,
                                               std::string& passphrase, const FileType& type);
  [[nodiscard]] uint32_t GetUpdateDetailInfo(const std::string& path,
                                             const std::string& passphrase, const FileType& type);

  // Console prompts.
  [[nodiscard]] CommandResult GetUserPassphrase(std::string& passphrase, const std::string& path);
  [[nodiscard]] bool ConfirmUpdate(const std::string& path);

  // A store status as a common-catalogue result; a failure's reason is
  // logged here.
  [[nodiscard]] static CommandResult MapEncryptionResult(const StoreStatus& value);
  // Its code alone, as the shared store steps take a status mapping.
  [[nodiscard]] static uint32_t MapEncryptionCode(const StoreStatus& value) {
    return MapEncryptionResult(value).code;
  }

  // Input intake and its readers.
  [[nodiscard]] uint32_t ReadFileIntoMemory();
  uint32_t ReadCredentialFile(const std::string& path);
  uint32_t ReadSensitiveSettingFile(const std::string& path);

  // Where the encrypted file of a type lives; `path` comes in empty.
  [[nodiscard]] uint32_t GetEncryptedFilePath(std::string key, std::string& path);

  std::map<FileType, Reader> file_readers;
  // Plaintext values: wiped when the object dies.
  std::map<FileType, RecordMap> file_records;
  HostContext context;
};

#endif  // SRC_MISC_ENCRYPT_ENCRYPT_H_
