#include "Src/Misc/Common/StoreLocation.h"

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/GlobalConfig.h"
#include "host/KelvoxDirectory.h"
#include "suite/platform/Process.h"
#include "suite/platform/Utf8Path.h"
#include "suite/usage/Commands.h"

const char* const EncryptedPathKeys[kFileTypeCount] = {"ENCRYPT_SETTING_PATH",
                                                       "ENCRYPTED_CREDENTIALS_FILE_PATH"};

static_assert(std::size(kStoreTypeNames) == kFileTypeCount, "one --type name per type");

bool ParseFileType(const std::string& name, FileType& type) {
  for (FileType each = 0; each < kFileTypeCount; ++each) {
    if (name == kStoreTypeNames[each]) {
      type = each;
      return true;
    }
  }
  return false;
}

namespace {

// The full path of an executable, set from outside; consumed by its first use.
constexpr char kBinaryVariable[] = "WRK_BIN_EXE";

constexpr uint32_t kLowSixteenBits = 0xFFFF;

// The variable's value; an empty value counts as unset, since Windows
// cannot hold a variable set to the empty string.
std::optional<std::string> GetVariable(const char* name) {
  std::string value = platform::GetEnvironment(name);
  if (value.empty()) return std::nullopt;
  return value;
}

// A bare file name, or a path whose first component is "." or "..": split
// at backslashes only, keeping empty components, so a leading backslash or
// a drive letter keeps the path as configured.
bool IsPlacedUnderProgram(const std::string& path) {
  std::vector<std::string> components;
  boost::split(components, path, boost::is_any_of("\\"));
  return components.size() == 1 || components.front() == "." || components.front() == "..";
}

// The configuration's result for a lookup that gave no value, as the
// command's code: its low 16 bits. The configuration promises a non-zero
// result without a value; should that ever break, an empty path must not
// pass as success.
uint32_t TranslateLookupResult(int lookup) {
  const uint32_t code = static_cast<uint32_t>(lookup) & kLowSixteenBits;
  return code != ERR_SUCCEED ? code : ERR_READ_FILE;
}

// `value` as placed under the program directory: the folder of `binary`
// when the variable is set, else the directory library's. The value is
// never normalised: it follows the directory as configured.
std::string PlaceUnderProgram(const std::string& value, const std::optional<std::string>& binary) {
  if (binary) return platform::PathToUtf8(platform::MakePath(*binary).parent_path()) + "/" + value;
  return KelvoxDirectory::GetExePath(value);
}

}  // namespace

uint32_t LocateStore(const std::string& key, std::string& path) {
  const int lookup = ZUdurov::GlobalConfig::GetConfigItem(key, path);
  if (path.empty()) {
    KLOG(kLevelError) << "Get encrypted file path error.";
    return TranslateLookupResult(lookup);
  }
  if (IsPlacedUnderProgram(path)) {
    const std::optional<std::string> binary = GetVariable(kBinaryVariable);
    path = PlaceUnderProgram(path, binary);
    // Used once: the later types of a run go beside the running program.
    if (binary) platform::UnsetEnvironment(kBinaryVariable);
    KLOG(kLevelTrace) << "path=" << path;
  }
  return ERR_SUCCEED;
}

uint32_t LocateStorePlaces(const std::string& key, std::vector<std::string>& paths) {
  std::string value;
  const int lookup = ZUdurov::GlobalConfig::GetConfigItem(key, value);
  if (value.empty()) return TranslateLookupResult(lookup);
  if (!IsPlacedUnderProgram(value)) {
    paths.push_back(value);
    return ERR_SUCCEED;
  }
  if (const std::optional<std::string> binary = GetVariable(kBinaryVariable)) {
    paths.push_back(PlaceUnderProgram(value, binary));
  }
  const std::string beside_program = PlaceUnderProgram(value, std::nullopt);
  if (paths.empty() || paths.back() != beside_program) paths.push_back(beside_program);
  return ERR_SUCCEED;
}
