#include "suite/endecrypt/StoreNames.h"

#include <sodium.h>

#include <boost/filesystem/path.hpp>

namespace endecrypt {
namespace {

// Eight bytes of BLAKE2b tell apart the stores of one folder; the name is
// not a secret and collisions only make two stores share a lock.
constexpr std::size_t kNameHashSize = 8;

std::string HashOfFileName(const std::string& path) {
  const std::string name = boost::filesystem::path(path).filename().string();
  unsigned char hash[kNameHashSize];
  crypto_generichash(hash, sizeof(hash), reinterpret_cast<const unsigned char*>(name.data()),
                     name.size(), nullptr, 0);
  char hex[2 * kNameHashSize + 1];
  sodium_bin2hex(hex, sizeof(hex), hash, sizeof(hash));
  return hex;
}

}  // namespace

std::string ParentFolder(const std::string& path) {
  const std::string parent = boost::filesystem::path(path).parent_path().string();
  return parent.empty() ? std::string(".") : parent;
}

std::string TempNamePrefix(const std::string& path) { return "." + HashOfFileName(path) + ".tmp-"; }

std::string LockFileName(const std::string& path) { return "." + HashOfFileName(path) + ".lock"; }

}  // namespace endecrypt
