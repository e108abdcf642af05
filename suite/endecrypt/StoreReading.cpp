#include "suite/endecrypt/StoreReading.h"

#include <cstdint>

#include "suite/endecrypt/StoreFiles.h"

namespace endecrypt {

StoreStatus ReadStoreFile(StoreContext& context, const std::string& path,
                          std::vector<unsigned char>& file, StoreHeader& header) {
  const StoreStatus read = FromReadResult(ReadWholeFile(context, path, kMaxStoreSize, file));
  if (read != endecrypt_status::kOk) return read;
  return DecodeHeader(file.data(), file.size(), header);
}

StoreStatus ReadStoreHeader(StoreContext& context, const std::string& path, StoreHeader& header) {
  std::vector<unsigned char> head;
  std::uint64_t size = 0;
  const StoreStatus read =
      FromReadResult(ReadFileHead(context, path, kMaxStoreSize, kHeaderSize, head, size));
  if (read != endecrypt_status::kOk) return read;
  return DecodeHeader(head.data(), size, header);
}

}  // namespace endecrypt
