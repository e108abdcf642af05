#include "suite/endecrypt/tpm/TpmWatchdog.h"

namespace endecrypt {

TpmWatchdog::TpmWatchdog() : thread([this] { Run(); }) {}

TpmWatchdog::~TpmWatchdog() {
  {
    const std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  changed.notify_one();
  thread.join();
}

void TpmWatchdog::Arm(Clock::time_point when) {
  {
    const std::lock_guard<std::mutex> lock(mutex);
    armed = true;
    struck = false;
    deadline = when;
  }
  changed.notify_one();
}

bool TpmWatchdog::Disarm() {
  const std::lock_guard<std::mutex> lock(mutex);
  armed = false;
  return struck;
}

void TpmWatchdog::Run() {
  std::unique_lock<std::mutex> lock(mutex);
  while (!stopping) {
    if (!armed) {
      changed.wait(lock);
    } else if (Clock::now() < deadline) {
      changed.wait_until(lock, deadline);
    } else {
      older.ShutNewerForReading();
      struck = true;
      armed = false;
    }
  }
}

}  // namespace endecrypt
