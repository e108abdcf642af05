// The console as a key source. On Windows a hidden field reads console
// keystrokes without echo (_getch) and a visible field reads standard input
// (getchar). Elsewhere both read standard input byte by byte; a hidden
// field on a terminal first turns off echo, line editing and the signal
// keys, and the reader puts the terminal back when the field ends.
#include "Src/Misc/Encrypt/KeySource.h"

#if defined(_WIN32)
#include <conio.h>

#include <cstdio>
#else
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

#if defined(_WIN32)

class HiddenConsoleReader : public KeyReader {
 public:
  int ReadKey() override { return _getch(); }
};

class StandardInputReader : public KeyReader {
 public:
  int ReadKey() override {
    const int key = std::getchar();
    return key == EOF ? kEndOfInput : key;
  }
};

#else

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

// A hidden field on a terminal. Made before the terminal is switched and
// restores the saved settings however the field ends, so an exception or an
// early return cannot leave the user's terminal without echo.
class TerminalReader : public KeyReader {
 public:
  explicit TerminalReader(const termios& saved) : saved(saved) {}
  ~TerminalReader() override { tcsetattr(STDIN_FILENO, TCSADRAIN, &saved); }

  int ReadKey() override {
    const int key = ReadStandardInput();
    // Most terminals send 127 for the Backspace key; the form knows only 8.
    const cc_t erase = saved.c_cc[VERASE];
    if (key != kEndOfInput && erase != _POSIX_VDISABLE && key == erase) return kBackspace;
    return key;
  }

 private:
  termios saved;
};

// Returned when a terminal's echo cannot be turned off: the field ends at
// once rather than let a secret be typed in view.
class EmptyReader : public KeyReader {
 public:
  int ReadKey() override { return kEndOfInput; }
};

#endif

class ConsoleKeySource : public KeySource {
 public:
  std::unique_ptr<KeyReader> OpenField(bool hidden) override {
#if defined(_WIN32)
    if (hidden) return std::make_unique<HiddenConsoleReader>();
    return std::make_unique<StandardInputReader>();
#else
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
#endif
  }
};

ConsoleKeySource console;
KeySource* replacement = nullptr;

}  // namespace

KeySource& GetKeySource() { return replacement != nullptr ? *replacement : console; }

KeySource* SetKeySource(KeySource* source) {
  KeySource* previous = replacement;
  replacement = source;
  return previous;
}
