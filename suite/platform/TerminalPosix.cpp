// Terminal.h on POSIX systems.
#if !defined(_WIN32)
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <iterator>

#include "suite/platform/Terminal.h"

namespace platform {
namespace {

constexpr int kBackspace = 8;

// One byte of standard input. Read without buffering, so nothing typed
// ahead for a later field is held back in a buffer of ours.
int ReadStandardInput() {
  unsigned char byte = 0;
  for (;;) {
    const ssize_t count = read(STDIN_FILENO, &byte, 1);
    if (count == 1) return byte;
    if (count < 0 && errno == EINTR) continue;
    return KeyReader::kEndOfInput;
  }
}

class StandardInputReader : public KeyReader {
 public:
  int ReadKey() override { return ReadStandardInput(); }
};

// The signals that end the process by default and may come while a hidden
// field has the terminal raw: from another process, or a hang-up. (The
// keys that would send SIGINT and SIGQUIT reach the form as codes.)
constexpr int kEndingSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};
constexpr std::size_t kEndingSignalCount = std::size(kEndingSignals);

// What the handler below restores. Written only while no handler of ours is
// installed, so the handler never sees them half written.
termios terminal_to_restore;
struct sigaction previous_actions[kEndingSignalCount];
volatile std::sig_atomic_t signal_hooked[kEndingSignalCount];

// Gives the terminal back, with the keys still queued (the rest of a
// passphrase) discarded, then raises the signal again under the action it
// had before: for the host that is the default, so the process ends and its
// exit status names the signal. Only async-signal-safe calls; no draining
// wait for output, which a stopped terminal could make endless.
void RestoreTerminalAndReraise(int signal_number) {
  const int saved_errno = errno;
  tcflush(STDIN_FILENO, TCIFLUSH);
  tcsetattr(STDIN_FILENO, TCSANOW, &terminal_to_restore);
  for (std::size_t i = 0; i < kEndingSignalCount; ++i) {
    if (kEndingSignals[i] == signal_number && signal_hooked[i]) {
      sigaction(signal_number, &previous_actions[i], nullptr);
      signal_hooked[i] = false;
    }
  }
  // Blocked until this handler returns; then it takes the restored action.
  raise(signal_number);
  errno = saved_errno;
}

// While it lives, the ending signals restore `saved` before they act. A
// signal the process ignores stays ignored. The previous actions come back
// when it is destroyed.
class TerminalSignalGuard {
 public:
  explicit TerminalSignalGuard(const termios& saved) {
    terminal_to_restore = saved;
    struct sigaction action {};
    action.sa_handler = RestoreTerminalAndReraise;
    sigemptyset(&action.sa_mask);
    for (const int signal_number : kEndingSignals) sigaddset(&action.sa_mask, signal_number);
    for (std::size_t i = 0; i < kEndingSignalCount; ++i) {
      struct sigaction current {};
      signal_hooked[i] = sigaction(kEndingSignals[i], nullptr, &current) == 0 &&
                         current.sa_handler != SIG_IGN &&
                         sigaction(kEndingSignals[i], &action, &previous_actions[i]) == 0;
    }
  }
  TerminalSignalGuard(const TerminalSignalGuard&) = delete;
  TerminalSignalGuard& operator=(const TerminalSignalGuard&) = delete;
  ~TerminalSignalGuard() {
    for (std::size_t i = 0; i < kEndingSignalCount; ++i) {
      if (signal_hooked[i]) sigaction(kEndingSignals[i], &previous_actions[i], nullptr);
      signal_hooked[i] = false;
    }
  }
};

// A hidden field on a terminal. Made before the terminal is switched and
// restores the saved settings however the field ends, so an exception or an
// early return cannot leave the user's terminal without echo. Keys typed
// after the field's end are discarded with the switch back (TCSAFLUSH): the
// tail of an overlong or mistyped passphrase must not reach whatever reads
// the terminal next, the shell above all.
class TerminalReader : public KeyReader {
 public:
  explicit TerminalReader(const termios& saved) : saved(saved), guard(saved) {}
  // The terminal is restored before the guard unhooks the signals, so no
  // signal can find it raw with nobody to restore it.
  ~TerminalReader() override { tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved); }

  int ReadKey() override {
    const int key = ReadStandardInput();
    // Most terminals send 127 for the Backspace key; the form knows only 8.
    const cc_t erase = saved.c_cc[VERASE];
    if (key != kEndOfInput && erase != _POSIX_VDISABLE && key == erase) return kBackspace;
    return key;
  }

 private:
  termios saved;
  TerminalSignalGuard guard;
};

// Returned when a terminal's echo cannot be turned off: the field ends at
// once rather than let a secret be typed in view.
class EmptyReader : public KeyReader {
 public:
  int ReadKey() override { return kEndOfInput; }
};

}  // namespace

std::unique_ptr<KeyReader> OpenConsoleField(bool hidden) {
  if (!hidden || isatty(STDIN_FILENO) == 0) return std::make_unique<StandardInputReader>();
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return std::make_unique<EmptyReader>();
  termios raw = saved;
  // Keys arrive one by one, unechoed; Ctrl+C reaches the form as code 3.
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  auto reader = std::make_unique<TerminalReader>(saved);
  // TCSADRAIN, not TCSAFLUSH: keys typed ahead of the prompt are kept. A
  // partial failure is undone by the reader's destructor.
  if (tcsetattr(STDIN_FILENO, TCSADRAIN, &raw) != 0) return std::make_unique<EmptyReader>();
  return reader;
}

}  // namespace platform

#endif  // !_WIN32
