// Reading a store file through the file layer (StoreFiles.h) and decoding
// its header (StoreFormat.h): whole, for the calls that open it, or only
// its head, for the calls that ask what its header says.
#ifndef SUITE_ENDECRYPT_STOREREADING_H_
#define SUITE_ENDECRYPT_STOREREADING_H_

#include <string>
#include <vector>

#include "host/StoreVocabulary.h"
#include "suite/endecrypt/StoreFormat.h"

namespace endecrypt {

class StoreContext;

// Reads the store at `path` whole into `file` and decodes its header into
// `header`. Returns kOk, the statuses of FromReadResult, or kInvalidFile
// for a header DecodeHeader refuses.
[[nodiscard]] StoreStatus ReadStoreFile(StoreContext& context, const std::string& path,
                                        std::vector<unsigned char>& file, StoreHeader& header);

// As ReadStoreFile, reading no more of the file than its header. `header`
// is untouched on failure.
[[nodiscard]] StoreStatus ReadStoreHeader(StoreContext& context, const std::string& path,
                                          StoreHeader& header);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_STOREREADING_H_
