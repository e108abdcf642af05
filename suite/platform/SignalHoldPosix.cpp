// SignalHold.h on POSIX systems: the signals blocked with pthread_sigmask,
// and a handler that records them in other threads.
#include <pthread.h>
#include <signal.h>

#include <csignal>
#include <cstddef>
#include <iterator>

#include "suite/platform/SignalHold.h"

namespace platform {
namespace {

// The signals that end a run by default (SIGQUIT, which asks for a core,
// is left as it is).
constexpr int kHeldSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kHeldSignalCount = std::size(kHeldSignals);

// The process's state while a hold lives; written only by the thread that
// holds `holding`, before the handler is installed and after it is gone.
std::mutex holding;
sigset_t previous_mask;
struct sigaction previous_actions[kHeldSignalCount];
volatile std::sig_atomic_t hooked[kHeldSignalCount];
volatile std::sig_atomic_t caught[kHeldSignalCount];

// Runs in a thread other than the holding one: only notes the signal, which
// is raised again when the hold ends. Async-signal-safe.
void Record(int signal_number) {
  for (std::size_t i = 0; i < kHeldSignalCount; ++i) {
    if (kHeldSignals[i] == signal_number) caught[i] = 1;
  }
}

}  // namespace

SignalHold::SignalHold() : one_at_a_time(holding) {
  sigset_t held;
  sigemptyset(&held);
  for (const int signal_number : kHeldSignals) sigaddset(&held, signal_number);
  ::pthread_sigmask(SIG_BLOCK, &held, &previous_mask);
  struct sigaction action {};
  action.sa_handler = Record;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < kHeldSignalCount; ++i) {
    caught[i] = 0;
    struct sigaction current {};
    hooked[i] = !sigismember(&previous_mask, kHeldSignals[i]) &&
                ::sigaction(kHeldSignals[i], nullptr, &current) == 0 &&
                current.sa_handler != SIG_IGN &&
                ::sigaction(kHeldSignals[i], &action, &previous_actions[i]) == 0;
  }
}

SignalHold::~SignalHold() {
  for (std::size_t i = 0; i < kHeldSignalCount; ++i) {
    if (hooked[i]) ::sigaction(kHeldSignals[i], &previous_actions[i], nullptr);
  }
  // A signal held in this thread acts here, under its previous action.
  ::pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
  for (std::size_t i = 0; i < kHeldSignalCount; ++i) {
    if (hooked[i] && caught[i]) ::raise(kHeldSignals[i]);
    hooked[i] = 0;
    caught[i] = 0;
  }
}

bool SignalHold::Pending() const {
  sigset_t pending;
  if (::sigpending(&pending) != 0) sigemptyset(&pending);
  for (std::size_t i = 0; i < kHeldSignalCount; ++i) {
    if (hooked[i] && (caught[i] || sigismember(&pending, kHeldSignals[i]))) return true;
  }
  return false;
}

}  // namespace platform
