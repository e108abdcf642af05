// Where the console prompts get what the user types. A KeySource opens one
// KeyReader per form field; the reader hands out codes one at a time until
// it is destroyed. A form reads from the source it is given: the console
// (ConsoleKeys()) in a run, a script in a test. Used from one thread only.
#ifndef SRC_MISC_COMMON_KEYSOURCE_H_
#define SRC_MISC_COMMON_KEYSOURCE_H_

#include <memory>

#include "suite/platform/Terminal.h"

using platform::KeyReader;

class KeySource {
 public:
  KeySource() = default;
  KeySource(const KeySource&) = delete;
  KeySource& operator=(const KeySource&) = delete;
  virtual ~KeySource() = default;

  // Starts reading one field. For a hidden field nothing typed is echoed
  // while the returned reader lives; destroying it puts the console back as
  // it was and, on a terminal, discards the keys not yet read. Never
  // returns null.
  virtual std::unique_ptr<KeyReader> OpenField(bool hidden) = 0;
};

// The console, through the platform's terminal layer; stateless.
KeySource& ConsoleKeys();

#endif  // SRC_MISC_COMMON_KEYSOURCE_H_
