#include "suite/endecrypt/StoreFiles.h"

#include <vector>

#include "suite/endecrypt/SecureBuffer.h"

namespace endecrypt {

FileResult ReadSecretFile(const std::string& path, std::size_t min_size, std::size_t max_size,
                          SecureBuffer& secret) {
  std::vector<unsigned char> contents;
  const FileResult result = platform::ReadSecretFile(path, min_size, max_size, contents);
  if (result != FileResult::kOk) return result;
  // TakeWiping wipes `contents`, the only other copy, whatever it returns.
  return secret.TakeWiping(contents) ? FileResult::kOk : FileResult::kFailed;
}

FileResult CreateFileAtomically(const std::string& path, const unsigned char* data,
                                std::size_t size) {
  return platform::CreateFileAtomically(path, data, size, true);
}

FileResult ReplaceFileAtomically(const std::string& path, const unsigned char* data,
                                 std::size_t size) {
  return platform::ReplaceFileAtomically(path, data, size, platform::Replacement::kOwnerOnly);
}

}  // namespace endecrypt
