#include "Src/Misc/Common/ProtectedFiles.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host/GlobalConfig.h"
#include "suite/endecrypt/HostKeyAdmin.h"
#include "suite/platform/Files.h"
#include "suite/platform/Utf8Path.h"

namespace {

// The magic every file of the store library opens with.
constexpr std::size_t kMagicSize = 8;
struct Magic {
  const char* bytes;
  const char* what;
};
constexpr Magic kMagics[] = {
    {"KVXSTORE", "a store"}, {"KVXHOSTK", "a host key"}, {"KVXHKBAK", "a host key backup"}};

bool IsSameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code error;
  return std::filesystem::equivalent(platform::MakePath(a), platform::MakePath(b), error);
}

// True when `path` is the host key at `key` or a key kept beside it
// (named after it, in the same folder).
bool IsKeptBeside(const std::string& path, const std::string& key) {
  std::error_code error;
  const std::filesystem::path output = platform::MakePath(path);
  const std::filesystem::path host_key = platform::MakePath(key);
  const std::string key_name = platform::PathToUtf8(host_key.filename());
  const std::string name = platform::PathToUtf8(output.filename());
  return name.compare(0, key_name.size(), key_name) == 0 &&
         std::filesystem::equivalent(output.parent_path().empty() ? "." : output.parent_path(),
                                     host_key.parent_path().empty() ? "." : host_key.parent_path(),
                                     error);
}

}  // namespace

std::string DescribeProtectedFile(const std::string& path) {
  std::vector<unsigned char> head;
  std::uint64_t size = 0;
  if (platform::ReadFileHead(path, SIZE_MAX, kMagicSize, head, size) == platform::FileResult::kOk &&
      head.size() == kMagicSize) {
    for (const Magic& magic : kMagics) {
      if (std::string(head.begin(), head.end()) == magic.bytes) return magic.what;
    }
  }
  if (IsSameFile(path, ZUdurov::GlobalConfig::GetLoadedFile())) return "the configuration";
  // The path alone: the key itself (perhaps sealed) is not read for this.
  std::string host_key;
  if (!EnDecryptGetHostKeyPath(host_key).IsOk()) return {};
  if (IsSameFile(path, host_key)) return "the host key";
  if (IsKeptBeside(path, host_key)) return "a key the host key's ring keeps";
  return {};
}
