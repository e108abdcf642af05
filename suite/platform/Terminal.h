// The console as the prompts read it: one field at a time, a hidden field
// without echo. TerminalPosix.cpp reads standard input byte by byte and
// switches a terminal to raw mode for a hidden field; TerminalWindows.cpp
// reads console keystrokes without echo (_getwch, handed on as UTF-8) for a
// hidden field when standard input is the console, and standard input
// (getchar) otherwise. Either way a character beyond ASCII arrives as
// several codes, its bytes one at a time, as the terminal or pipe sends them.
#ifndef SUITE_PLATFORM_TERMINAL_H_
#define SUITE_PLATFORM_TERMINAL_H_

#include <memory>

namespace platform {

// The input of one field.
class KeyReader {
 public:
  // Returned by ReadKey when there is nothing more to read.
  static constexpr int kEndOfInput = -1;

  KeyReader() = default;
  KeyReader(const KeyReader&) = delete;
  KeyReader& operator=(const KeyReader&) = delete;
  virtual ~KeyReader() = default;

  // The next code typed, or kEndOfInput. A hidden field's erase key comes
  // back as 8 (backspace), whatever the terminal sends for it.
  virtual int ReadKey() = 0;
};

// Starts reading one field from the console. For a hidden field nothing
// typed is echoed while the returned reader lives; destroying it puts the
// console back as it was and, on a terminal, discards the keys not yet
// read. A signal that ends the process during the field restores the
// terminal first. Never returns null.
std::unique_ptr<KeyReader> OpenConsoleField(bool hidden);

}  // namespace platform

#endif  // SUITE_PLATFORM_TERMINAL_H_
