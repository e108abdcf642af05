// Runs the whole input intake on arbitrary files: the JSON loader with its
// comment and joining rules, the sensitive settings reader and, behind it,
// the credential reader. Beyond the sanitizers it checks that the result
// matches what was stored and that the settings reader stores records
// exactly when it says it found them.
#include <cstdint>
#include <cstdlib>

#include "errors/ErrorCatalogue.h"
#include "fuzz/FuzzFile.h"
#include "host/Log.h"
#include "tests/support/EncryptProbe.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Every record is built, the name lines included, but none is written.
  ZUdurov::Log::SetLogFile("");
  ZUdurov::Log::SetMinLogLevel(4);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = WriteFuzzFile(data, size);

  EncryptProbe intake(path);
  const int code = intake.ReadFileIntoMemory();
  if (code == static_cast<int>(ERR_SUCCEED)) {
    Check(!intake.Records().empty());
  } else {
    Check(code == static_cast<int>(ERR_INVALID_FILE));
  }

  EncryptProbe reader(path);
  const int read = reader.ReadSensitiveSettingFile(path);
  Check((read == static_cast<int>(ERR_SUCCEED)) == (reader.Records().count(SensitiveSetting) == 1));
  Check(read != static_cast<int>(ERR_INVALID_FILE) || code == static_cast<int>(ERR_INVALID_FILE));
  return 0;
}
