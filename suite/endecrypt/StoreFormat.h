// The store file's byte layout, described in docs/store-format.md: the
// fixed-size header and the length-prefixed records sealed in the body.
// Pure encoding and decoding; no cryptography and no file access here.
#ifndef SUITE_ENDECRYPT_STOREFORMAT_H_
#define SUITE_ENDECRYPT_STOREFORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "host/StoreVocabulary.h"
#include "suite/endecrypt/KeyDerivation.h"

namespace endecrypt {

constexpr std::size_t kMagicSize = 8;
constexpr unsigned char kMagic[kMagicSize] = {'K', 'V', 'X', 'S', 'T', 'O', 'R', 'E'};
constexpr std::uint8_t kFormatVersion = 1;

constexpr std::size_t kKeyIdSize = HostKeyId::kSize;
constexpr std::size_t kHeaderSize = 94;

// Largest store file read or written, header included.
constexpr std::size_t kMaxStoreSize = std::size_t{256} << 20;  // 256 MiB

struct StoreHeader {
  EncryptionMode mode = kAttendedMode;
  std::uint32_t opslimit = 0;
  std::uint64_t memlimit = 0;
  unsigned char salt[kSaltSize] = {};
  HostKeyId key_id;  // all zero when attended
  unsigned char nonce[kNonceSize] = {};
  unsigned char key_check[kKeyCheckSize] = {};
  std::uint64_t body_length = 0;
};

// Writes the kHeaderSize bytes of `header` to `out`.
void EncodeHeader(const StoreHeader& header, unsigned char* out);

// Decodes and checks the header at the start of a store file of `file_size`
// bytes, of which `data` holds at least the first min(file_size, kHeaderSize).
// Returns kOk, or kInvalidFile for any structural fault (size, magic,
// version, mode, costs, key id, body length); `header` is untouched then.
[[nodiscard]] StoreStatus DecodeHeader(const unsigned char* data, std::size_t file_size,
                                       StoreHeader& header);

// One record as views into a buffer that outlives it.
using RecordView = std::pair<std::string_view, std::string_view>;

// Serialises `records`, which must be in strictly ascending key order, into
// `file` as the body of a store to be sealed in place: `file` is sized for
// a header, the records and a tag, and the records are written after the
// header's room. Returns kOk, or kWriteFailed (with `file` untouched) when
// the result would make a store larger than kMaxStoreSize.
[[nodiscard]] StoreStatus EncodeRecords(const std::vector<RecordView>& records,
                                        std::vector<unsigned char>& file);

// Parses serialised records; the views point into `data`. Returns kOk, or
// kInvalidFile (with `records` untouched) when the bytes are not exactly a
// record list with strictly ascending keys.
[[nodiscard]] StoreStatus DecodeRecords(const unsigned char* data, std::size_t size,
                                        std::vector<RecordView>& records);

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_STOREFORMAT_H_
