// ENCRYPT, the encrypt command: reads the plaintext file named by the option
// "configfile", finds its type by trying every reader on it, and writes the
// records of each type found into that type's encrypted store.
// Driven from one thread by the host; holds no lock.
#ifndef SRC_MISC_ENCRYPT_ENCRYPT_H_
#define SRC_MISC_ENCRYPT_ENCRYPT_H_

#include <cstdint>
#include <map>
#include <string>

#include "Src/Misc/Encrypt/StoreLocation.h"
#include "plugin/basic_app.h"

// Input file types, in the order every per-type step runs.
using FileType = int32_t;
constexpr FileType SensitiveSetting = 0;
constexpr FileType Credential = 1;

// Encryption modes: attended (a typed passphrase) or unattended (no passphrase).
constexpr int kAttendedMode = 0;
constexpr int kUnattendedMode = 1;

using RecordMap = std::map<std::string, std::string>;

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
  // or leaves file_records untouched; its return code is not looked at.
  using Reader = int (ENCRYPT::*)(const std::string& path);

  // The procedure behind Run.
  [[nodiscard]] int EncryptProc();
  [[nodiscard]] int RunEncrypt(FileType type, const std::string& path,
                               const std::string& passphrase);

  // Checks before a type is written: a new store gets its passphrase; an
  // existing one is checked for its mode, decrypted to count what changes,
  // and confirmed. `passphrase` is written only by GetUserPassphrase.
  [[nodiscard]] int EncryptPreCheck(const int& mode, const std::string& path,
                                    std::string& passphrase, const FileType& type);
  [[nodiscard]] int EncryptUpdatePreCheck(const int& mode, const std::string& path,
                                          std::string& passphrase, const FileType& type);
  [[nodiscard]] int GetUpdateDetailInfo(const std::string& path, const std::string& passphrase,
                                        const FileType& type);

  // Console prompts.
  [[nodiscard]] CommandResult GetUserPassphrase(std::string& passphrase, const std::string& path);
  [[nodiscard]] bool ConfirmUpdate(const std::string& path);

  // A store status as a common-catalogue result.
  [[nodiscard]] static CommandResult MapEncryptionResult(int value);

  // Input intake and its readers.
  [[nodiscard]] int ReadFileIntoMemory();
  int ReadCredentialFile(const std::string& path);
  int ReadSensitiveSettingFile(const std::string& path);

  // Where the encrypted file of a type lives; `path` comes in empty.
  [[nodiscard]] int GetEncryptedFilePath(std::string key, std::string& path);

  std::map<FileType, Reader> file_readers;
  // Plaintext values: wiped when the object dies.
  std::map<FileType, RecordMap> file_records;
  HostContext context;
};

#endif  // SRC_MISC_ENCRYPT_ENCRYPT_H_
