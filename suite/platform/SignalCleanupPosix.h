// Clean-up on the signals that end a process, for the platform's POSIX
// sources: what a run must undo however it ends (a terminal left raw, a
// named temporary, a private folder holding plaintext) is undone in a
// signal handler, which then lets the signal end the process as it would
// have. With it, the blocking of those signals while the handler's data
// changes, so the handler never sees it half written.
#ifndef SUITE_PLATFORM_SIGNALCLEANUPPOSIX_H_
#define SUITE_PLATFORM_SIGNALCLEANUPPOSIX_H_

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace platform {

// The set of `signals`.
inline sigset_t SignalSet(std::initializer_list<int> signals) {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : signals) sigaddset(&set, signal_number);
  return set;
}

// Blocks `signals` in the calling thread while it lives; one that comes
// meanwhile acts when it ends.
class SignalsBlocked {
 public:
  explicit SignalsBlocked(const sigset_t& signals) {
    ::pthread_sigmask(SIG_BLOCK, &signals, &previous);
  }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;
  ~SignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &previous, nullptr); }

 private:
  sigset_t previous;
};

// While it lives, each of the signals it was given that the process does
// not ignore (an ignored one ends nothing) first runs `Cleanup`, with all of
// them blocked, then gets back the action it had before and is raised
// again: the process ends as it would have, and its exit status names the
// signal. Destruction puts the previous actions back.
//
// WARNING: `Cleanup` runs in a signal handler: async-signal-safe calls
// only, on data written while the signals were blocked (SignalsBlocked).
// One guard per `Cleanup` at a time; guards of different clean-ups nest,
// the inner one's raise reaching the outer one's handler.
template <void (*Cleanup)(int signal_number)>
class SignalCleanup {
 public:
  explicit SignalCleanup(const sigset_t& signals) {
    struct sigaction action {};
    action.sa_handler = CleanUpAndReraise;
    action.sa_mask = signals;
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
      struct sigaction current {};
      hooked[signal_number] = sigismember(&signals, signal_number) == 1 &&
                              ::sigaction(signal_number, nullptr, &current) == 0 &&
                              current.sa_handler != SIG_IGN &&
                              ::sigaction(signal_number, &action, &previous[signal_number]) == 0;
    }
  }
  SignalCleanup(const SignalCleanup&) = delete;
  SignalCleanup& operator=(const SignalCleanup&) = delete;
  ~SignalCleanup() {
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
      if (hooked[signal_number] != 0) ::sigaction(signal_number, &previous[signal_number], nullptr);
      hooked[signal_number] = 0;
    }
  }

 private:
  static void CleanUpAndReraise(int signal_number) {
    const int saved_errno = errno;
    Cleanup(signal_number);
    if (signal_number > 0 && signal_number < NSIG && hooked[signal_number] != 0) {
      ::sigaction(signal_number, &previous[signal_number], nullptr);
      hooked[signal_number] = 0;
    }
    // Blocked until this handler returns; then it takes the restored action.
    ::raise(signal_number);
    errno = saved_errno;
  }

  static inline struct sigaction previous[NSIG];
  static inline volatile std::sig_atomic_t hooked[NSIG];
};

}  // namespace platform

#endif  // SUITE_PLATFORM_SIGNALCLEANUPPOSIX_H_
