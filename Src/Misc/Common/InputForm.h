// A small console form: named fields read one after another from the key
// source, each hidden (typed without echo) or visible. A form is a local of
// the prompt that uses it; it overwrites every value it read when it is
// destroyed, since a value may be a passphrase.
#ifndef SRC_MISC_COMMON_INPUTFORM_H_
#define SRC_MISC_COMMON_INPUTFORM_H_

#include <cstddef>
#include <string>
#include <vector>

namespace platform {
class KeyReader;
}
using platform::KeyReader;

// The most characters one field holds; the key after them ends the field.
constexpr std::size_t kMaxFieldLength = 256;
// The exit status of a run ended by Ctrl+C at a prompt (128 + SIGINT, as a
// shell reports a command it interrupted).
constexpr int kInterruptedStatus = 130;

class InputForm {
 public:
  InputForm() = default;
  InputForm(const InputForm&) = delete;
  InputForm& operator=(const InputForm&) = delete;
  ~InputForm();

  // Adds a field shown as `description`; does nothing when a field named
  // `name` (exact comparison) is already in the form.
  void AddField(const std::string& name, const std::string& description, bool hidden);

  // For every field in order: writes "  " + description + ": " to
  // ConsoleOutput() and flushes it, then reads the field until Enter, the end of
  // input or a key beyond kMaxFieldLength characters. Backspace removes the
  // last character; only codes 32 to 126 are kept. Nothing typed is echoed
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

 private:
  struct Field {
    std::string description;
    bool hidden;
  };
  struct Value {
    std::string name;
    std::string value;
    bool input_ended = false;
  };

  // Reads one field's text; `input_ended` tells whether the input ran out.
  // `interrupted` tells whether Ctrl+C ended it.
  std::string ReadField(KeyReader& reader, bool& input_ended, bool& interrupted);

  // Entry i of `values` belongs to entry i of `fields`.
  std::vector<Field> fields;
  std::vector<Value> values;
};

#endif  // SRC_MISC_COMMON_INPUTFORM_H_
