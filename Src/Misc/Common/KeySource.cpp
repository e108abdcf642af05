// The console as a key source, through the platform's terminal layer.
#include "Src/Misc/Common/KeySource.h"

namespace {

class ConsoleKeySource : public KeySource {
 public:
  std::unique_ptr<KeyReader> OpenField(bool hidden) override {
    return platform::OpenConsoleField(hidden);
  }
};

}  // namespace

KeySource& ConsoleKeys() {
  static ConsoleKeySource console;
  return console;
}
