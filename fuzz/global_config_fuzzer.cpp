// Reads arbitrary bytes as the suite's global configuration file, which
// every command reads before anything else, and looks up the keys the suite
// reads and every key the input names. Beyond the sanitizers it checks the
// lookup's contract: a found key has a non-empty value, any other result
// leaves the value empty, a broken file refuses every key, and a second
// lookup agrees with the first.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/FuzzFile.h"
#include "host/GlobalConfig.h"

namespace {

using ZUdurov::GlobalConfig;

constexpr const char* kSuiteKeys[] = {
    "ENCRYPT_SETTING_PATH", "ENCRYPTED_CREDENTIALS_FILE_PATH", "ENCRYPT_HOST_KEY_PATH",
    "ENCRYPT_HOST_KEY_PROTECTION", "ENCRYPT_TPM2_TCTI", "ENCRYPT_TPM2_PCRS",
    "ENCRYPT_KDF_OPSLIMIT", "ENCRYPT_KDF_MEMLIMIT", "LOG_LEVEL", "LOG_FILE"};

void Check(bool condition) {
  if (!condition) std::abort();
}

// The text before the first '=' of each line: the keys the input names, as
// written (blanks included, which the file's reader trims).
std::vector<std::string> NamedKeys(const std::string& text) {
  std::vector<std::string> keys(std::begin(kSuiteKeys), std::end(kSuiteKeys));
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (const size_t equals = line.find('='); equals != std::string::npos) {
      keys.push_back(line.substr(0, equals));
    }
  }
  return keys;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("KELVOX_GLOBAL_CONFIG", WriteFuzzFile(nullptr, 0).c_str(), 1);
  // The reader reports a broken file on standard error, once per read:
  // here once per input, which would bury libFuzzer's own output.
  std::cerr.setstate(std::ios::badbit);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteFuzzFile(data, size);
  GlobalConfig::Reload();
  bool malformed = false;
  bool first = true;
  for (const std::string& key : NamedKeys(std::string(reinterpret_cast<const char*>(data), size))) {
    std::string value = "untouched", again;
    const int result = GlobalConfig::GetConfigItem(key, value);
    Check(result == GlobalConfig::kOk || result == GlobalConfig::kMalformed ||
          result == GlobalConfig::kKeyAbsent || result == GlobalConfig::kValueEmpty);
    Check((result == GlobalConfig::kOk) == !value.empty());
    if (first) malformed = result == GlobalConfig::kMalformed;
    Check(malformed == (result == GlobalConfig::kMalformed));
    Check(GlobalConfig::GetConfigItem(key, again) == result && again == value);
    first = false;
  }
  return 0;
}
