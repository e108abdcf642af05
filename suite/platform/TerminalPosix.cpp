// Terminal.h on POSIX systems.
#include <termios.h>
#include <unistd.h>

#include <csignal>

#include "suite/platform/DescriptorPosix.h"
#include "suite/platform/SignalCleanupPosix.h"
#include "suite/platform/Terminal.h"

namespace platform {
namespace {

constexpr int kBackspace = 8;

// One byte of standard input. Read without buffering, so nothing typed
// ahead for a later field is held back in a buffer of ours.
int ReadByte() {
  unsigned char byte = 0;
  return ReadFully(STDIN_FILENO, &byte, 1) ? byte : KeyReader::kEndOfInput;
}

class StandardInputReader : public KeyReader {
 public:
  int ReadKey() override { return ReadByte(); }
};

// What the clean-up below restores. Written only while no reader of ours
// guards it, so the handler never sees it half written.
termios terminal_to_restore;

// Gives the terminal back, with the keys still queued (the rest of a
// passphrase) discarded. Only async-signal-safe calls; no draining wait for
// output, which a stopped terminal could make endless.
void RestoreTerminal(int /*signal_number*/) {
  tcflush(STDIN_FILENO, TCIFLUSH);
  tcsetattr(STDIN_FILENO, TCSANOW, &terminal_to_restore);
}

// A hidden field on a terminal. Made before the terminal is switched and
// restores the saved settings however the field ends, so an exception or an
// early return cannot leave the user's terminal without echo. Keys typed
// after the field's end are discarded with the switch back (TCSAFLUSH): the
// tail of an overlong or mistyped passphrase must not reach whatever reads
// the terminal next, the shell above all. While it lives, the signals that
// end the process by default and may come while the terminal is raw (from
// another process, or a hang-up) restore it before they act; for the host
// that action is the default, so the process ends and its exit status names
// the signal. (The keys that would send SIGINT and SIGQUIT reach the form as
// codes.)
class TerminalReader : public KeyReader {
 public:
  // REQUIRES: `terminal_to_restore` holds `saved`.
  explicit TerminalReader(const termios& saved)
      : saved(saved), guard(SignalSet({SIGTERM, SIGHUP, SIGINT, SIGQUIT})) {}
  // The terminal is restored before the guard unhooks the signals, so no
  // signal can find it raw with nobody to restore it.
  ~TerminalReader() override { tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved); }

  int ReadKey() override {
    const int key = ReadByte();
    // Most terminals send 127 for the Backspace key; the form knows only 8.
    const cc_t erase = saved.c_cc[VERASE];
    if (key != kEndOfInput && erase != _POSIX_VDISABLE && key == erase) return kBackspace;
    return key;
  }

 private:
  termios saved;
  SignalCleanup<RestoreTerminal> guard;
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
  terminal_to_restore = saved;
  auto reader = std::make_unique<TerminalReader>(saved);
  // TCSADRAIN, not TCSAFLUSH: keys typed ahead of the prompt are kept. A
  // partial failure is undone by the reader's destructor.
  if (tcsetattr(STDIN_FILENO, TCSADRAIN, &raw) != 0) return std::make_unique<EmptyReader>();
  return reader;
}

}  // namespace platform
