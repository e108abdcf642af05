#include "suite/endecrypt/StoreFormat.h"

#include <cstring>

#include "host/Log.h"
#include "host/StoreVocabulary.h"

namespace endecrypt {
namespace {

// Field offsets within the header.
constexpr std::size_t kStoreVersionOffset = 8;
constexpr std::size_t kModeOffset = 9;
constexpr std::size_t kOpsLimitOffset = 10;
constexpr std::size_t kMemLimitOffset = 14;
constexpr std::size_t kSaltOffset = 22;
constexpr std::size_t kKeyIdOffset = 38;
constexpr std::size_t kNonceOffset = 46;
constexpr std::size_t kKeyCheckOffset = 70;
constexpr std::size_t kBodyLengthOffset = 86;
static_assert(kBodyLengthOffset + sizeof(std::uint64_t) == kHeaderSize);

constexpr std::size_t kCountSize = sizeof(std::uint32_t);
constexpr std::size_t kLengthSize = sizeof(std::uint32_t);

void PutLittleEndian(std::uint64_t value, std::size_t size, unsigned char* out) {
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint64_t GetLittleEndian(const unsigned char* in, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value |= std::uint64_t{in[i]} << (8 * i);
  return value;
}

// The size of `records` encoded, for the log of a refusal only: the sizes
// of strings in memory cannot overflow 64 bits.
std::uint64_t EncodedSize(const std::vector<RecordView>& records) {
  std::uint64_t total = kCountSize;
  for (const auto& [key, value] : records) total += 2 * kLengthSize + key.size() + value.size();
  return total;
}

bool IsAllZero(const unsigned char* data, std::size_t size) {
  unsigned char seen = 0;
  for (std::size_t i = 0; i < size; ++i) seen |= data[i];
  return seen == 0;
}

bool CostsAreValid(const StoreHeader& header) {
  if (header.mode == kUnattendedMode) return header.opslimit == 0 && header.memlimit == 0;
  return header.opslimit >= kMinOpsLimit && header.opslimit <= kMaxOpsLimit &&
         header.memlimit >= kMinMemLimit && header.memlimit <= kMaxMemLimit &&
         IsAllZero(header.key_id.data(), kKeyIdSize);
}

}  // namespace

void EncodeHeader(const StoreHeader& header, unsigned char* out) {
  std::memcpy(out, kMagic, kMagicSize);
  out[kStoreVersionOffset] = kFormatVersion;
  out[kModeOffset] = header.mode;
  PutLittleEndian(header.opslimit, sizeof(std::uint32_t), out + kOpsLimitOffset);
  PutLittleEndian(header.memlimit, sizeof(std::uint64_t), out + kMemLimitOffset);
  std::memcpy(out + kSaltOffset, header.salt, kSaltSize);
  std::memcpy(out + kKeyIdOffset, header.key_id.data(), kKeyIdSize);
  std::memcpy(out + kNonceOffset, header.nonce, kNonceSize);
  std::memcpy(out + kKeyCheckOffset, header.key_check, kKeyCheckSize);
  PutLittleEndian(header.body_length, sizeof(std::uint64_t), out + kBodyLengthOffset);
}

StoreStatus DecodeHeader(const unsigned char* data, std::size_t file_size, StoreHeader& header) {
  using endecrypt_status::kInvalidFile;
  if (file_size < kHeaderSize || file_size > kMaxStoreSize) return kInvalidFile;
  if (std::memcmp(data, kMagic, kMagicSize) != 0) return kInvalidFile;
  if (data[kStoreVersionOffset] != kFormatVersion) return kInvalidFile;
  StoreHeader decoded;
  if (data[kModeOffset] != kAttendedMode && data[kModeOffset] != kUnattendedMode) {
    return kInvalidFile;
  }
  decoded.mode = static_cast<EncryptionMode>(data[kModeOffset]);
  decoded.opslimit =
      static_cast<std::uint32_t>(GetLittleEndian(data + kOpsLimitOffset, sizeof(std::uint32_t)));
  decoded.memlimit = GetLittleEndian(data + kMemLimitOffset, sizeof(std::uint64_t));
  std::memcpy(decoded.salt, data + kSaltOffset, kSaltSize);
  decoded.key_id = HostKeyId::FromBytes(data + kKeyIdOffset);
  std::memcpy(decoded.nonce, data + kNonceOffset, kNonceSize);
  std::memcpy(decoded.key_check, data + kKeyCheckOffset, kKeyCheckSize);
  decoded.body_length = GetLittleEndian(data + kBodyLengthOffset, sizeof(std::uint64_t));
  if (!CostsAreValid(decoded)) return kInvalidFile;
  if (decoded.body_length != file_size - kHeaderSize || decoded.body_length < kTagSize) {
    return kInvalidFile;
  }
  header = decoded;
  return endecrypt_status::kOk;
}

StoreStatus EncodeRecords(const std::vector<RecordView>& records,
                          std::vector<unsigned char>& file) {
  // Checked field by field and record by record, so no sum can overflow.
  constexpr std::size_t kMaxRecordsSize = kMaxStoreSize - kHeaderSize - kTagSize;
  std::size_t total = kCountSize;
  for (const auto& [key, value] : records) {
    if (key.size() > kMaxRecordsSize || value.size() > kMaxRecordsSize ||
        (total += 2 * kLengthSize + key.size() + value.size()) > kMaxRecordsSize) {
      KLOG(1) << "records of " << EncodedSize(records) << " bytes exceed the store's limit of "
              << kMaxRecordsSize << " bytes";
      return endecrypt_status::kWriteFailed;
    }
  }
  file.assign(kHeaderSize + total + kTagSize, 0);
  unsigned char* cursor = file.data() + kHeaderSize;
  PutLittleEndian(records.size(), kCountSize, cursor);
  cursor += kCountSize;
  for (const auto& [key, value] : records) {
    for (const std::string_view field : {key, value}) {
      PutLittleEndian(field.size(), kLengthSize, cursor);
      cursor += kLengthSize;
      if (!field.empty()) std::memcpy(cursor, field.data(), field.size());
      cursor += field.size();
    }
  }
  return endecrypt_status::kOk;
}

StoreStatus DecodeRecords(const unsigned char* data, std::size_t size,
                          std::vector<RecordView>& records) {
  using endecrypt_status::kInvalidFile;
  if (size < kCountSize) return kInvalidFile;
  const std::uint64_t count = GetLittleEndian(data, kCountSize);
  std::size_t offset = kCountSize;
  // Each record takes at least its two lengths: a larger count is a lie,
  // refused before anything is reserved for it.
  if (count > (size - offset) / (2 * kLengthSize)) return kInvalidFile;
  std::vector<RecordView> decoded;
  decoded.reserve(count);
  const auto read_field = [&](std::string_view& field) {
    if (size - offset < kLengthSize) return false;
    const std::uint64_t length = GetLittleEndian(data + offset, kLengthSize);
    offset += kLengthSize;
    if (length > size - offset) return false;
    field = std::string_view(reinterpret_cast<const char*>(data + offset), length);
    offset += length;
    return true;
  };
  for (std::uint64_t i = 0; i < count; ++i) {
    RecordView record;
    if (!read_field(record.first) || !read_field(record.second)) return kInvalidFile;
    if (!decoded.empty() && !(decoded.back().first < record.first)) return kInvalidFile;
    decoded.push_back(record);
  }
  if (offset != size) return kInvalidFile;
  records = std::move(decoded);
  return endecrypt_status::kOk;
}

}  // namespace endecrypt
