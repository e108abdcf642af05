// The one way into ENCRYPT's private steps and members, for tests,
// benchmarks and fuzzers; ENCRYPT names it as its friend.
#ifndef TESTS_SUPPORT_ENCRYPTPROBE_H_
#define TESTS_SUPPORT_ENCRYPTPROBE_H_

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "Src/Misc/Encrypt/Encrypt.h"

class EncryptProbe : public ENCRYPT {
 public:
  EncryptProbe() = default;
  // A command whose "configfile" option is `input`.
  explicit EncryptProbe(const std::string& input) { context.options["configfile"] = input; }
  void SetEnv(const CommandEnv& run_env) { env = run_env; }
  void SetRecords(FileType type, RecordMap records) { file_records[type] = std::move(records); }
  const std::map<FileType, RecordMap>& Records() const { return file_records; }
  const std::map<FileType, Reader>& Readers() const { return file_readers; }

  // The store at `path` as a pre-check finds it, which the passphrase
  // prompt goes by.
  void FindStoreAt(const std::string& path) {
    visit = std::make_unique<StoreVisit>();
    visit->found = FindStore(*env.GetStore(), path);
  }

  using ENCRYPT::ConfirmUpdate;
  using ENCRYPT::GetEncryptedFilePath;
  using ENCRYPT::GetUserPassphrase;
  using ENCRYPT::ReadCredentialFile;
  using ENCRYPT::ReadFileIntoMemory;
  using ENCRYPT::ReadSensitiveSettingFile;
};

#endif  // TESTS_SUPPORT_ENCRYPTPROBE_H_
