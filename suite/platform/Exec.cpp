// The part of Exec.h that is the same on every system.
#include <string>
#include <string_view>

#include "suite/platform/Exec.h"

namespace platform {

bool ProgramStart::AddEnvironment(const std::string& name, std::string_view value,
                                  std::string& reason) {
  if (value.find('\0') != std::string_view::npos) {
    reason = "it holds a NUL byte, which no environment variable can carry";
    return false;
  }
  // Sized once, so that no copy of the value is left behind by growing.
  std::string& setting = settings.emplace_back();
  setting.reserve(name.size() + 1 + value.size());
  setting.append(name).append(1, '=').append(value);
  return true;
}

}  // namespace platform
