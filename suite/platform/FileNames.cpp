#include "suite/platform/FileNames.h"

#include <sodium.h>

#include <boost/filesystem/path.hpp>

#include "suite/utf8/Utf8Path.h"

namespace platform {
namespace {

// Eight bytes of BLAKE2b tell apart the stores of one folder; the name is
// not a secret and collisions only make two stores share a lock.
constexpr std::size_t kNameHashSize = 8;

std::string HashOfFileName(const std::string& path) {
  const std::string name = utf8::PathToUtf8(utf8::MakePath(path).filename());
  unsigned char hash[kNameHashSize];
  crypto_generichash(hash, sizeof(hash), reinterpret_cast<const unsigned char*>(name.data()),
                     name.size(), nullptr, 0);
  char hex[2 * kNameHashSize + 1];
  sodium_bin2hex(hex, sizeof(hex), hash, sizeof(hash));
  return hex;
}

}  // namespace

std::string ParentFolder(const std::string& path) {
  const std::string parent = utf8::PathToUtf8(utf8::MakePath(path).parent_path());
  return parent.empty() ? std::string(".") : parent;
}

std::string TempNamePrefix(const std::string& path) { return "." + HashOfFileName(path) + ".tmp-"; }

std::string TempRandomPart() {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string part(kTempRandomSize, '\0');
  for (char& c : part) c = kAlphabet[randombytes_uniform(sizeof(kAlphabet) - 1)];
  return part;
}

std::string LockFileName(const std::string& path) { return "." + HashOfFileName(path) + ".lock"; }

}  // namespace platform
