// The one way into ENCRYPT's private steps and members, for tests,
// benchmarks and fuzzers; ENCRYPT names it as its friend.
#ifndef TESTS_SUPPORT_ENCRYPTPROBE_H_
#define TESTS_SUPPORT_ENCRYPTPROBE_H_

#include <map>
#include <string>
#include <utility>

#include "Src/Misc/Encrypt/Encrypt.h"

class EncryptProbe : public ENCRYPT {
 public:
  EncryptProbe() = default;
  // A command whose "configfile" option is `input`.
  explicit EncryptProbe(const std::string& input) { context.options["configfile"] = input; }
  void SetRecords(FileType type, RecordMap records) { file_records[type] = std::move(records); }
  const std::map<FileType, RecordMap>& Records() const { return file_records; }
  const std::map<FileType, Reader>& Readers() const { return file_readers; }

  using ENCRYPT::GetEncryptedFilePath;
  using ENCRYPT::ReadCredentialFile;
  using ENCRYPT::ReadFileIntoMemory;
  using ENCRYPT::ReadSensitiveSettingFile;
};

#endif  // TESTS_SUPPORT_ENCRYPTPROBE_H_
