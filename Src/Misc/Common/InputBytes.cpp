#include "Src/Misc/Common/InputBytes.h"

#include <vector>

#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/Trace.h"
#include "suite/platform/Files.h"
#include "suite/platform/StandardStreams.h"

namespace {

// "16 MiB" or "4096 bytes".
std::string SizeInWords(std::size_t size) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  if (size >= kMiB && size % kMiB == 0) return std::to_string(size / kMiB) + " MiB";
  return std::to_string(size) + " bytes";
}

// The file layer's reason for a refusal, for the log; the console gets
// the caller's words.
void LogFileReason(const platform::FileResult& result) {
  if (!result.GetReason().empty()) {
    KLOG(kLevelError) << result.GetReason();
  }
}

}  // namespace

bool ReadFileOrStandardInput(const std::string& from, std::size_t max_size, SecretString& bytes,
                             std::string& reason) {
  if (from == kStandardInputName) {
    if (platform::ReadStandardInput(max_size, bytes)) return true;
    reason = "standard input cannot be read or holds more than " + SizeInWords(max_size);
    return false;
  }
  std::vector<unsigned char> read;
  const ScopedWipe wipe_read(read);
  const platform::FileResult result = platform::ReadHandedFile(from, max_size, read);
  if (result == platform::FileResult::kOk) {
    // One copy of the block: iterators of another element type would copy
    // byte by byte.
    bytes.assign(reinterpret_cast<const char*>(read.data()), read.size());
    return true;
  }
  LogFileReason(result);
  reason = result == platform::FileResult::kNotFound ? "it does not exist"
           : result == platform::FileResult::kWrongSize
               ? "it is not a regular file of at most " + SizeInWords(max_size)
           : platform::IsAccessDenied(from) ? "permission denied"
                                            : "it cannot be read";
  return false;
}

bool ReadOwnerOnlyFile(const std::string& path, std::size_t max_size,
                       std::vector<unsigned char>& bytes, std::string& reason) {
  const platform::FileResult result = platform::ReadSecretFile(path, 1, max_size, bytes);
  if (result == platform::FileResult::kOk) return true;
  LogFileReason(result);
  reason = platform::IsAccessDenied(path) ? "permission denied"
           : result == platform::FileResult::kNotFound ? "it does not exist"
           : result == platform::FileResult::kWrongSize
               ? "it is not a regular file of at most " + SizeInWords(max_size)
           : result == platform::FileResult::kUntrusted
               ? "it must be a file of your own, not a link, that no one else may read (chmod 600)"
               : "it cannot be read";
  return false;
}
