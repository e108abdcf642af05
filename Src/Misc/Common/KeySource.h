// Where the console prompts get what the user types. A KeySource opens one
// KeyReader per form field; the reader hands out codes one at a time until
// it is destroyed. The process-wide source is the console unless a test has
// put a scripted one in its place. Used from one thread only.
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

// The source the prompts read from: the console unless replaced.
KeySource& GetKeySource();

// Makes `source` the process-wide source (null restores the console) and
// returns the previous one, or null when that was the console. The caller
// keeps ownership of `source`, which must outlive its use.
KeySource* SetKeySource(KeySource* source);

#endif  // SRC_MISC_COMMON_KEYSOURCE_H_
