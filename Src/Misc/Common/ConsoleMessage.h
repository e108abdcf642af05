// One user-facing line: collected like an output stream, then, when the
// message goes out of scope, written to standard error (level below 2) or
// standard output with a newline, and to the log at its level. The console
// line is written whatever the logger's minimum level.
#ifndef SRC_MISC_COMMON_CONSOLEMESSAGE_H_
#define SRC_MISC_COMMON_CONSOLEMESSAGE_H_

#include <ostream>
#include <sstream>

#include "host/Log.h"

class ConsoleMessage {
 public:
  ConsoleMessage(unsigned level, const char* file, int line);
  ConsoleMessage(const ConsoleMessage&) = delete;
  ConsoleMessage& operator=(const ConsoleMessage&) = delete;
  ~ConsoleMessage();

  template <typename T>
  ConsoleMessage& operator<<(const T& value) {
    text << value;
    return *this;
  }

 private:
  std::ostringstream text;
  ZUdurov::Log record;
  unsigned level;
};

// Sends every console line and prompt to standard error (true) or back to
// the split above (false). For commands whose standard output carries data.
void SetConsoleToStandardError(bool to_standard_error);

// Where prompts and user-facing lines go: standard output unless redirected
// by SetConsoleToStandardError.
std::ostream& ConsoleOutput();

#define CONSOLE_MESSAGE(level) ConsoleMessage((level), __FILE__, __LINE__)

#endif  // SRC_MISC_COMMON_CONSOLEMESSAGE_H_
