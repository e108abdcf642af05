// Keeps the signals that end a run by default (SIGINT, SIGTERM, SIGHUP) from
// ending the process in the middle of work that must be undone first (the
// TPM's conversation, which leaves objects loaded in the TPM when cut).
//
// While a hold lives, those signals are blocked in the thread that made it
// (and in the threads it starts meanwhile, which inherit the mask), and a
// thread that still takes one only records it. The work asks Pending()
// between its steps and stops; when the hold ends, the previous actions
// come back and a held or recorded signal acts as it would have. A signal
// the process ignores, or one this thread already blocked, is left alone.
// One hold at a time in a process: a second waits for the first to end, as
// the actions it replaces are the process's. SignalHoldPosix.cpp holds the
// POSIX side; Windows has none of these signals, and its hold holds nothing
// (SignalHoldWindows.cpp).
#ifndef SUITE_PLATFORM_SIGNALHOLD_H_
#define SUITE_PLATFORM_SIGNALHOLD_H_

#include <mutex>

namespace platform {

class SignalHold {
 public:
  SignalHold();
  SignalHold(const SignalHold&) = delete;
  SignalHold& operator=(const SignalHold&) = delete;
  // Restores the previous actions and mask; a signal held or recorded
  // meanwhile then acts (for the defaults: the process ends by it).
  ~SignalHold();

  // Whether one of the signals came since the hold began.
  [[nodiscard]] bool Pending() const;

 private:
  std::unique_lock<std::mutex> one_at_a_time;
};

}  // namespace platform

#endif  // SUITE_PLATFORM_SIGNALHOLD_H_
