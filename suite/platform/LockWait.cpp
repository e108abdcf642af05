#include "suite/platform/LockWait.h"

#include <chrono>
#include <thread>

#include "suite/platform/StandardStreams.h"

namespace platform {
namespace {

constexpr auto kTellAfter = std::chrono::seconds(1);
constexpr auto kRetryAfter = std::chrono::milliseconds(20);

}  // namespace

FileResult WaitForLock(const std::function<FileResult()>& try_lock, int wait_seconds,
                       const std::string& shown) {
  const auto start = std::chrono::steady_clock::now();
  bool told = false;
  for (;;) {
    const FileResult tried = try_lock();
    if (tried != FileResult::kBusy) return tried;
    const auto waited = std::chrono::steady_clock::now() - start;
    if (waited >= std::chrono::seconds(wait_seconds)) {
      return {FileResult::kBusy, "gave up after " + std::to_string(wait_seconds) +
                                     " s waiting for " + shown +
                                     ", held by another writer; nothing was written"};
    }
    if (!told && waited >= kTellAfter) {
      Notice("waiting for " + shown + ", held by another writer (up to " +
             std::to_string(wait_seconds) + " s)");
      told = true;
    }
    std::this_thread::sleep_for(kRetryAfter);
  }
}

void Notice(const std::string& line) {
  static_cast<void>(WriteStandardError("kelvox: " + line + "\n"));
}

}  // namespace platform
