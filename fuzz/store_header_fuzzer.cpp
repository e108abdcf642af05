// Runs the store file's decoders on arbitrary bytes: the header, which a
// reader checks before anything is authenticated, both directly and through
// the library's last-mode query on a file, and the record list. Beyond the
// sanitizers it checks that whatever decodes encodes back to the same
// bytes, that a refusal leaves the output untouched, and that the query
// agrees with the decoder.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "fuzz/FuzzFile.h"
#include "host/EnDecrypt.h"
#include "host/Log.h"
#include "suite/endecrypt/StoreFormat.h"

namespace {

using namespace endecrypt;

constexpr std::uint32_t kUntouched = 0xDEADBEEF;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Returns the mode of the header that decoded, else none.
std::optional<EncryptionMode> CheckHeader(const uint8_t* data, size_t size) {
  StoreHeader header;
  header.opslimit = kUntouched;
  const StoreStatus decoded = DecodeHeader(data, size, header);
  Check(decoded == endecrypt_status::kOk || decoded == endecrypt_status::kInvalidFile);
  if (decoded != endecrypt_status::kOk) {
    Check(header.opslimit == kUntouched);
    return std::nullopt;
  }
  unsigned char encoded[kHeaderSize];
  EncodeHeader(header, encoded);
  Check(std::memcmp(encoded, data, kHeaderSize) == 0);
  return header.mode;
}

void CheckRecords(const uint8_t* data, size_t size) {
  std::vector<RecordView> records{{"untouched", ""}};
  if (DecodeRecords(data, size, records) != endecrypt_status::kOk) {
    Check(records.size() == 1 && records[0].first == "untouched");
    return;
  }
  for (size_t i = 1; i < records.size(); ++i) Check(records[i - 1].first < records[i].first);
  // The encoder writes the records after room for the header and leaves
  // room for the tag behind them, for the record list to be sealed in place.
  std::vector<unsigned char> file;
  Check(EncodeRecords(records, file) == endecrypt_status::kOk);
  Check(file.size() == kHeaderSize + size + kTagSize &&
        std::memcmp(file.data() + kHeaderSize, data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ZUdurov::Log::SetLogFile("");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::optional<EncryptionMode> decoded_mode = CheckHeader(data, size);
  CheckRecords(data, size);

  // Preset to a mode the header does not name: the query must set it on
  // success and leave it on failure.
  const EncryptionMode preset = decoded_mode == kAttendedMode ? kUnattendedMode : kAttendedMode;
  EncryptionMode mode = preset;
  const StoreStatus queried =
      EnDecrypt::GetInstance()->GetFileLastEncryptionMode(WriteFuzzFile(data, size), mode);
  Check(mode == decoded_mode.value_or(preset));
  Check(queried == (decoded_mode ? endecrypt_status::kOk : endecrypt_status::kInvalidFile));
  return 0;
}
