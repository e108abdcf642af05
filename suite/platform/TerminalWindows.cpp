// Terminal.h on Windows.
#if defined(_WIN32)
#include <conio.h>
#include <windows.h>

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
  // _getch reads the console, not standard input: a passphrase piped or
  // redirected from a file is read as a visible field is.
  DWORD mode = 0;
  if (hidden && GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) return std::make_unique<HiddenConsoleReader>();
  return std::make_unique<StandardInputReader>();
}

}  // namespace platform

#endif  // _WIN32
