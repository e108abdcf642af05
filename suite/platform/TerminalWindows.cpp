// Terminal.h on Windows.
#if defined(_WIN32)
#include <conio.h>

#include <cstdio>

#include "suite/platform/Terminal.h"

namespace platform {
namespace {

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

}  // namespace

std::unique_ptr<KeyReader> OpenConsoleField(bool hidden) {
  if (hidden) return std::make_unique<HiddenConsoleReader>();
  return std::make_unique<StandardInputReader>();
}

}  // namespace platform

#endif  // _WIN32
