// Where the console prompts get what the user types. A KeySource opens one
// KeyReader per form field; the reader hands out codes one at a time until
// it is destroyed. The process-wide source is the console unless a test has
// put a scripted one in its place. Used from one thread only.
#ifndef SRC_MISC_ENCRYPT_KEYSOURCE_H_
#define SRC_MISC_ENCRYPT_KEYSOURCE_H_

#include <memory>

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

#endif  // SRC_MISC_ENCRYPT_KEYSOURCE_H_
