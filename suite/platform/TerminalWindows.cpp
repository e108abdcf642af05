// Terminal.h on Windows.
#include <conio.h>
#include <windows.h>

#include <cstddef>
#include <cstdio>

#include "suite/platform/Terminal.h"
#include "suite/secretmemory/SecretMemory.h"

namespace platform {
namespace {

// UTF-16 as _getwch gives it: the ranges of the two halves of a surrogate
// pair, and what an unpaired half stands for.
constexpr unsigned kFirstHighSurrogate = 0xD800;
constexpr unsigned kFirstLowSurrogate = 0xDC00;
constexpr unsigned kPastLowSurrogate = 0xE000;
constexpr unsigned kFirstSupplementary = 0x10000;
constexpr unsigned kReplacementCharacter = 0xFFFD;
constexpr unsigned kSurrogateBits = 10;

// Console keystrokes without echo, handed on as the UTF-8 bytes of the
// character typed, one code at a time. _getwch reads the console in UTF-16
// whatever its code page, so a typed value is stored as UTF-8 as on every
// other platform. An ASCII key (Enter, Backspace and Ctrl+C included) is
// its one code, as _getch gave it; a function or arrow key is its prefix (0,
// or 0xE0 as the two bytes of U+00E0) and then its second code.
class HiddenConsoleReader : public KeyReader {
 public:
  ~HiddenConsoleReader() override { sodium_memzero(pending, sizeof pending); }

  int ReadKey() override {
    if (next < count) return pending[next++];
    const unsigned unit = ReadUnit();
    if (unit == static_cast<unsigned>(WEOF)) return kEndOfInput;
    unsigned character = unit;
    if (unit >= kFirstHighSurrogate && unit < kPastLowSurrogate) {
      character = kReplacementCharacter;
      if (unit < kFirstLowSurrogate) {
        const unsigned low = ReadUnit();
        if (low >= kFirstLowSurrogate && low < kPastLowSurrogate) {
          character = kFirstSupplementary + ((unit - kFirstHighSurrogate) << kSurrogateBits) +
                      (low - kFirstLowSurrogate);
        } else {
          // Not the second half: it is read again as a key of its own.
          ahead = low;
        }
      }
    }
    Encode(character);
    return pending[next++];
  }

 private:
  // The next UTF-16 unit, the one read ahead first.
  unsigned ReadUnit() {
    const unsigned unit = ahead != kNone ? ahead : static_cast<unsigned>(_getwch());
    ahead = kNone;
    return unit;
  }

  // `character` as UTF-8 into `pending`.
  void Encode(unsigned character) {
    next = 0;
    if (character < 0x80) {
      pending[0] = static_cast<unsigned char>(character);
      count = 1;
    } else if (character < 0x800) {
      pending[0] = static_cast<unsigned char>(0xC0 | (character >> 6));
      pending[1] = static_cast<unsigned char>(0x80 | (character & 0x3F));
      count = 2;
    } else if (character < kFirstSupplementary) {
      pending[0] = static_cast<unsigned char>(0xE0 | (character >> 12));
      pending[1] = static_cast<unsigned char>(0x80 | ((character >> 6) & 0x3F));
      pending[2] = static_cast<unsigned char>(0x80 | (character & 0x3F));
      count = 3;
    } else {
      pending[0] = static_cast<unsigned char>(0xF0 | (character >> 18));
      pending[1] = static_cast<unsigned char>(0x80 | ((character >> 12) & 0x3F));
      pending[2] = static_cast<unsigned char>(0x80 | ((character >> 6) & 0x3F));
      pending[3] = static_cast<unsigned char>(0x80 | (character & 0x3F));
      count = 4;
    }
  }

  // Beyond every UTF-16 unit and WEOF: nothing read ahead.
  static constexpr unsigned kNone = 0x110000;
  // The bytes of the last character not yet handed on; wiped at the end,
  // as they may belong to a passphrase.
  unsigned char pending[4] = {};
  std::size_t count = 0;
  std::size_t next = 0;
  unsigned ahead = kNone;
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
  // _getwch reads the console, not standard input: a passphrase piped or
  // redirected from a file is read as a visible field is.
  DWORD mode = 0;
  if (hidden && GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) return std::make_unique<HiddenConsoleReader>();
  return std::make_unique<StandardInputReader>();
}

}  // namespace platform
