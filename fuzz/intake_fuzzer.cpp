// Runs the whole input intake on arbitrary files: the JSON loader with its
// comment and joining rules, the sensitive settings reader and, behind it,
// the credential reader. Beyond the sanitizers it checks that the result
// matches what was stored and that the settings reader never throws
// anything but the loader's two exceptions.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include <boost/property_tree/json_parser.hpp>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "errors/ErrorCatalogue.h"
#include "fuzz/FuzzFile.h"
#include "host/Log.h"

namespace {

class Command : public ENCRYPT {
 public:
  explicit Command(const std::string& path) { context.options["configfile"] = path; }
  const std::map<FileType, RecordMap>& records() const { return file_records; }
};

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

  Command intake(path);
  const int code = intake.ReadFileIntoMemory();
  if (code == static_cast<int>(ERR_SUCCEED)) {
    Check(!intake.records().empty());
  } else {
    Check(code == static_cast<int>(ERR_INVALID_FILE));
  }

  Command reader(path);
  try {
    const int read = reader.ReadSensitiveSettingFile(path);
    Check((read == static_cast<int>(ERR_SUCCEED)) ==
          (reader.records().count(SensitiveSetting) == 1));
  } catch (const boost::property_tree::json_parser_error&) {
    Check(reader.records().empty());
  }
  return 0;
}
