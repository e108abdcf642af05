#include "Src/Misc/Common/ConsoleMessage.h"

#include <iostream>

namespace {
// Levels below this one are notices for standard error.
constexpr unsigned kFirstStdoutLevel = 2;

bool all_to_standard_error = false;
}  // namespace

void SetConsoleToStandardError(bool to_standard_error) {
  all_to_standard_error = to_standard_error;
}

std::ostream& ConsoleOutput() { return all_to_standard_error ? std::cerr : std::cout; }

ConsoleMessage::ConsoleMessage(unsigned level, const char* file, int line)
    : record(level, file, line), level(level) {}

ConsoleMessage::~ConsoleMessage() {
  const std::string line = text.str();
  record.Stream() << line;
  std::ostream& console = level < kFirstStdoutLevel ? std::cerr : ConsoleOutput();
  console << line << '\n';
  console.flush();
  // `record` is destroyed after this body and writes the log line.
}
