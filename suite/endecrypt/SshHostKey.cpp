#include "suite/endecrypt/SshHostKey.h"

#include <string_view>
#include <utility>

#include "host/StoreVocabulary.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreFiles.h"
#include "suite/endecrypt/StoreSettings.h"

namespace endecrypt {
namespace {

// An OpenSSH Ed25519 private key file is some 400 bytes.
constexpr std::size_t kMaxSshKeyFileSize = 16384;

}  // namespace

bool LoadSshHostIdentity(StoreContext& context, std::vector<age::Identity>& identities,
                         std::string& tried) {
  std::string path;
  bool configured = false;
  if (ReadSshHostKeyPath(context, path, configured) != endecrypt_status::kOk || path.empty())
    return false;
  SecureBuffer file;
  const FileResult read = ReadSecretFile(context, path, 1, kMaxSshKeyFileSize, file);
  // The system's place is tried only when a key is there; a key the
  // configuration names is named whatever keeps it from being used.
  if (read == FileResult::kNotFound && !configured) return false;
  tried = "the ssh host key " + path;
  if (read != FileResult::kOk) {
    tried += read == FileResult::kNotFound ? " (there is no key file)"
             : read == FileResult::kUntrusted
                 ? " (not trusted: a link, another owner, or open to group or others)"
                 : " (it cannot be read)";
    return false;
  }
  age::Identity identity;
  const age::AgeStatus parsed = age::ParseSshPrivateKey(
      std::string_view(reinterpret_cast<const char*>(file.data()), file.size()), identity);
  if (parsed != age::AgeStatus::kOk) {
    tried += std::string(" (") + age::DescribeStatus(parsed) + ")";
    return false;
  }
  identities.push_back(std::move(identity));
  return true;
}

}  // namespace endecrypt
