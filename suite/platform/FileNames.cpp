#include "suite/platform/FileNames.h"

#include <sodium.h>

#include <cstdint>
#include <string>

#include "suite/platform/Utf8Path.h"

namespace platform {
namespace {

// Eight bytes of BLAKE2b tell apart the stores of one folder; the name is
// not a secret and collisions only make two stores share a lock.
constexpr std::size_t kNameHashSize = 8;

std::string HashOfFileName(const std::string& path) {
  const std::string name = PathToUtf8(MakePath(path).filename());
  unsigned char hash[kNameHashSize];
  crypto_generichash(hash, sizeof(hash), reinterpret_cast<const unsigned char*>(name.data()),
                     name.size(), nullptr, 0);
  char hex[2 * kNameHashSize + 1];
  sodium_bin2hex(hex, sizeof(hex), hash, sizeof(hash));
  return hex;
}

}  // namespace

std::string ParentFolder(const std::string& path) {
  const std::string parent = PathToUtf8(MakePath(path).parent_path());
  return parent.empty() ? std::string(".") : parent;
}

std::string TempNamePrefix(const std::string& path) { return "." + HashOfFileName(path) + ".tmp-"; }

std::string TempName(const std::string& path, std::uint32_t writer) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string id = std::to_string(writer);
  id.insert(0, kTempWriterSize - id.size(), '0');
  std::string random(kTempRandomSize, '\0');
  for (char& c : random) c = kAlphabet[randombytes_uniform(sizeof(kAlphabet) - 1)];
  return TempNamePrefix(path) + id + "-" + random;
}

bool ReadTempName(const std::string& name, const std::string& prefix, std::uint32_t& writer) {
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  if (name.size() == prefix.size() + kTempRandomSize) {
    writer = 0;
    return true;
  }
  const std::string id = name.substr(prefix.size(), kTempWriterSize);
  if (name.size() != prefix.size() + kTempWriterSize + 1 + kTempRandomSize ||
      name[prefix.size() + kTempWriterSize] != '-' ||
      id.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const unsigned long long value = std::stoull(id);
  if (value == 0 || value > UINT32_MAX) return false;
  writer = static_cast<std::uint32_t>(value);
  return true;
}

std::string LockFileName(const std::string& path) { return "." + HashOfFileName(path) + ".lock"; }

}  // namespace platform
