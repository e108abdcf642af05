// The file layer as the store and the host key use it: the platform's
// calls (suite/platform/Files.h), with the store's choices made once:
// secret files land in guarded memory, created files get their folders,
// replaced files keep their access.
#ifndef SUITE_ENDECRYPT_STOREFILES_H_
#define SUITE_ENDECRYPT_STOREFILES_H_

#include <cstddef>
#include <string>

#include "suite/platform/Files.h"

namespace endecrypt {

class SecureBuffer;

using platform::CreateLockedFile;
using platform::DefaultHostKeyPath;
using platform::ExclusiveLock;
using platform::FileResult;
using platform::LockAndReadFile;
using platform::ListFilesNamed;
using platform::LockedFile;
using platform::ReadFileHead;
using platform::ReadWholeFile;
using platform::RemoveFile;
using platform::ReplaceLockedFile;
using platform::TakeExclusiveLock;

// platform::ReadSecretFile into `secret`, allocated here to the file's size.
[[nodiscard]] FileResult ReadSecretFile(const std::string& path, std::size_t min_size,
                                        std::size_t max_size, SecureBuffer& secret);

// platform::CreateFileAtomically, missing folders made owner-only.
[[nodiscard]] FileResult CreateFileAtomically(const std::string& path, const unsigned char* data,
                                              std::size_t size);

// platform::ReplaceFileAtomically of the entry at the path itself (never
// through a link there) by a new owner-only file.
[[nodiscard]] FileResult ReplaceFileAtomically(const std::string& path, const unsigned char* data,
                                               std::size_t size);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_STOREFILES_H_
