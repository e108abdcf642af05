// The file layer as the store and the host key use it: the calls of the
// file layer of the engine's context each is handed (StoreContext: the
// system's unless the engine's options name another), with the
// store's choices made once: secret files land in guarded memory, created
// files get their folders, replaced files keep their access.
#ifndef SUITE_ENDECRYPT_STOREFILES_H_
#define SUITE_ENDECRYPT_STOREFILES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/StoreVocabulary.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/platform/FileSystem.h"

namespace endecrypt {

class StoreContext;

using platform::ExclusiveLock;
using platform::FileResult;
using platform::LockedFile;

// The store status of a read's `result`, with the file layer's reason:
// kOk; kNotExist for no file; kInvalidFile for one of a size no file of
// its kind has; kBusy for a writers' lock waited for in vain; else
// kReadFailed.
[[nodiscard]] StoreStatus FromReadResult(const FileResult& result);

// The store status of a write's `result`: kOk, or kWriteFailed with the
// file layer's reason.
[[nodiscard]] StoreStatus FromWriteResult(const FileResult& result);

// The context's ReadSecretFile into `secret`, allocated here to the file's size.
[[nodiscard]] FileResult ReadSecretFile(StoreContext& context, const std::string& path,
                                        std::size_t min_size, std::size_t max_size,
                                        SecureBuffer& secret);

// The context's CreateFileAtomically, missing folders made owner-only.
[[nodiscard]] FileResult CreateFileAtomically(StoreContext& context, const std::string& path,
                                              const unsigned char* data, std::size_t size);

// The context's ReplaceFileAtomically of the entry at the path itself (never
// through a link there) by a new owner-only file.
[[nodiscard]] FileResult ReplaceFileAtomically(StoreContext& context, const std::string& path,
                                               const unsigned char* data, std::size_t size);

// The other calls of the context's file layer, as they are.
[[nodiscard]] FileResult ReadWholeFile(StoreContext& context, const std::string& path,
                                       std::size_t max_size, std::vector<unsigned char>& contents);
[[nodiscard]] FileResult ReadFileHead(StoreContext& context, const std::string& path,
                                      std::size_t max_size, std::size_t count,
                                      std::vector<unsigned char>& head, std::uint64_t& size);
[[nodiscard]] FileResult LockAndReadFile(StoreContext& context, const std::string& path,
                                         std::size_t max_size, LockedFile& lock,
                                         std::vector<unsigned char>& contents);
[[nodiscard]] FileResult CreateLockedFile(StoreContext& context, LockedFile& lock,
                                          const unsigned char* data, std::size_t size);
[[nodiscard]] FileResult ReplaceLockedFile(StoreContext& context, LockedFile& lock,
                                           const unsigned char* data, std::size_t size);
[[nodiscard]] FileResult TakeExclusiveLock(StoreContext& context, const std::string& path,
                                           ExclusiveLock& lock);
std::vector<std::string> ListFilesNamed(StoreContext& context, const std::string& path,
                                        const std::string& suffix);
[[nodiscard]] FileResult RemoveFile(StoreContext& context, const std::string& path);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_STOREFILES_H_
