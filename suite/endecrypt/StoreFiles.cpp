#include "suite/endecrypt/StoreFiles.h"

#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreContext.h"

namespace endecrypt {

StoreStatus FromReadResult(const FileResult& result) {
  switch (result) {
    case FileResult::kOk: return endecrypt_status::kOk;
    case FileResult::kNotFound: return endecrypt_status::kNotExist;
    case FileResult::kWrongSize: return {endecrypt_status::kInvalidFile, result.GetReason()};
    case FileResult::kBusy: return {endecrypt_status::kBusy, result.GetReason()};
    default: return {endecrypt_status::kReadFailed, result.GetReason()};
  }
}

StoreStatus FromWriteResult(const FileResult& result) {
  if (result == FileResult::kOk) return endecrypt_status::kOk;
  return {endecrypt_status::kWriteFailed, result.GetReason()};
}

FileResult ReadSecretFile(StoreContext& context, const std::string& path, std::size_t min_size,
                          std::size_t max_size, SecureBuffer& secret) {
  std::vector<unsigned char> contents;
  const FileResult result = context.GetFiles().ReadSecretFile(path, min_size, max_size, contents);
  if (result != FileResult::kOk) return result;
  // TakeWiping wipes `contents`, the only other copy, whatever it returns.
  return secret.TakeWiping(contents) ? FileResult::kOk : FileResult::kFailed;
}

FileResult CreateFileAtomically(StoreContext& context, const std::string& path,
                                const unsigned char* data, std::size_t size) {
  return context.GetFiles().CreateFileAtomically(path, data, size, true);
}

FileResult ReplaceFileAtomically(StoreContext& context, const std::string& path,
                                 const unsigned char* data, std::size_t size) {
  return context.GetFiles().ReplaceFileAtomically(path, data, size,
                                                  platform::Replacement::kOwnerOnly);
}

FileResult ReadWholeFile(StoreContext& context, const std::string& path, std::size_t max_size,
                         std::vector<unsigned char>& contents) {
  return context.GetFiles().ReadWholeFile(path, max_size, contents);
}

FileResult ReadFileHead(StoreContext& context, const std::string& path, std::size_t max_size,
                        std::size_t count, std::vector<unsigned char>& head, std::uint64_t& size) {
  return context.GetFiles().ReadFileHead(path, max_size, count, head, size);
}

FileResult LockAndReadFile(StoreContext& context, const std::string& path, std::size_t max_size,
                           LockedFile& lock, std::vector<unsigned char>& contents) {
  return context.GetFiles().LockAndReadFile(path, max_size, lock, contents);
}

FileResult CreateLockedFile(StoreContext& context, LockedFile& lock, const unsigned char* data,
                            std::size_t size) {
  return context.GetFiles().CreateLockedFile(lock, data, size);
}

FileResult ReplaceLockedFile(StoreContext& context, LockedFile& lock, const unsigned char* data,
                             std::size_t size) {
  return context.GetFiles().ReplaceLockedFile(lock, data, size);
}

FileResult TakeExclusiveLock(StoreContext& context, const std::string& path, ExclusiveLock& lock) {
  return context.GetFiles().TakeExclusiveLock(path, lock);
}

std::vector<std::string> ListFilesNamed(StoreContext& context, const std::string& path,
                                        const std::string& suffix) {
  return context.GetFiles().ListFilesNamed(path, suffix);
}

FileResult RemoveFile(StoreContext& context, const std::string& path) {
  return context.GetFiles().RemoveFile(path);
}

}  // namespace endecrypt
