#include "Src/Misc/Encrypt/ConsoleMessage.h"

#include <iostream>

namespace {
// Levels below this one are notices for standard error.
constexpr unsigned kFirstStdoutLevel = 2;
}  // namespace

ConsoleMessage::ConsoleMessage(unsigned level, const char* file, int line)
    : record(level, file, line), level(level) {}

ConsoleMessage::~ConsoleMessage() {
  const std::string line = text.str();
  record.Stream() << line;
  std::ostream& console = level < kFirstStdoutLevel ? std::cerr : std::cout;
  console << line << '\n';
  console.flush();
  // `record` is destroyed after this body and writes the log line.
}
