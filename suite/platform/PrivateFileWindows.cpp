// PrivateFile.h on Windows. Windows has no memory-backed file system a user
// can count on, and a plaintext store must not go to a disk: edit refuses
// there.
#include "suite/platform/PrivateFile.h"

namespace platform {

PrivateFile::~PrivateFile() = default;

// Nothing is ever made, so nothing is left behind.
void PrivateFile::RemoveLeftBehind() {}

bool PrivateFile::Create(const std::string& name, const std::string& text, std::string& reason) {
  static_cast<void>(name);
  static_cast<void>(text);
  reason = "this system has no memory-backed folder for it";
  return false;
}

bool PrivateFile::ReadBack(std::size_t max_size, std::string& text) const {
  static_cast<void>(max_size);
  static_cast<void>(text);
  return false;
}

}  // namespace platform
