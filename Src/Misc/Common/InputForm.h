// A small console form: named fields read one after another from its key
// source, each hidden (typed without echo) or visible, each keeping either
// printable ASCII only (encrypt's passphrase field, and every field that
// opens a store encrypt made) or the whole line typed (values, and
// passphrases being chosen). A form is a local of the prompt that uses it;
// it overwrites every value it read when it is destroyed, since a value may
// be a passphrase.
#ifndef SRC_MISC_COMMON_INPUTFORM_H_
#define SRC_MISC_COMMON_INPUTFORM_H_

#include <cstddef>
#include <string>
#include <vector>

class KeySource;
namespace platform {
class KeyReader;
}
using platform::KeyReader;

// The most characters one printable field holds; the key after them ends
// the field.
constexpr std::size_t kMaxFieldLength = 256;
// The most bytes one whole field holds; a longer line is refused, not cut.
constexpr std::size_t kMaxWholeFieldSize = 65536;
// The exit status of a run ended by Ctrl+C at a prompt (128 + SIGINT, as a
// shell reports a command it interrupted).
constexpr int kInterruptedStatus = 130;

// What a field keeps of the line typed into it.
enum class FieldText {
  // Codes 32 to 126, at most kMaxFieldLength of them; every other code is
  // dropped and the key after a full field ends it.
  kPrintable,
  // Every byte (UTF-8, tabs and all), at most kMaxWholeFieldSize of them;
  // Backspace removes the last UTF-8 character. A longer line is read to
  // its end and leaves the field empty and marked TooLong.
  kWhole,
};

// True when a printable field can hold `text` as it is: at most
// kMaxFieldLength characters, each a code from 32 to 126.
[[nodiscard]] bool FitsPrintableField(const std::string& text);

class InputForm {
 public:
  // Reads its fields from `keys`, which must outlive the form.
  explicit InputForm(KeySource& keys) : keys(keys) {}
  InputForm(const InputForm&) = delete;
  InputForm& operator=(const InputForm&) = delete;
  ~InputForm();

  // Adds a field shown as `description` that keeps `text`; does nothing
  // when a field named `name` (exact comparison) is already in the form.
  void AddField(const std::string& name, const std::string& description, bool hidden,
                FieldText text = FieldText::kPrintable);

  // For every field in order: writes "  " + description + ": " to
  // ConsoleOutput() and flushes it, then reads the field until Enter (13 or
  // 10), the end of input or, for a printable field, a key beyond
  // kMaxFieldLength characters. Backspace removes the last character; what
  // else is kept depends on the field's FieldText. Nothing typed is echoed
  // by the form; a hidden field is followed by a newline.
  void ReadFields();

  // The text last read for `name`; empty before ReadFields or when the form
  // has no such field. The copy belongs to the caller.
  std::string GetValue(const std::string& name) const;

  // From now on, Ctrl+C in a field ends the process with status
  // kInterruptedStatus once the console is back as it was and the form's
  // text is wiped. The store commands ask for it; encrypt keeps Ctrl+C as
  // an ignored key.
  static void EndRunOnInterrupt();

  // True when the field `name` was last ended by the end of input rather
  // than by Enter or its length; false before ReadFields or for no such field.
  bool EndedAtEndOfInput(const std::string& name) const;

  // True when the whole field `name` was last given a line of more than
  // kMaxWholeFieldSize bytes (its value is then empty); false otherwise.
  bool TooLong(const std::string& name) const;

 private:
  struct Field {
    std::string description;
    bool hidden;
    FieldText text;
  };
  struct Value {
    std::string name;
    std::string value;
    bool input_ended = false;
    bool too_long = false;
  };

  // Reads one field's text as `text` says; `input_ended` tells whether the
  // input ran out, `too_long` whether a whole line was over its limit and
  // `interrupted` whether Ctrl+C ended it.
  static std::string ReadField(KeyReader& reader, FieldText text, bool& input_ended,
                               bool& too_long, bool& interrupted);

  KeySource& keys;
  // Entry i of `values` belongs to entry i of `fields`.
  std::vector<Field> fields;
  std::vector<Value> values;
};

#endif  // SRC_MISC_COMMON_INPUTFORM_H_
