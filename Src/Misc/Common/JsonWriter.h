// The one JSON writer of the commands: decrypt's and edit's plaintext form,
// and the --json output of list, verify and hostkey. Strings keep every
// byte from 0x80 up as it is and escape what JSON must; nothing is checked
// or reordered, so the caller decides what is written and in which order.
// A writer without an output only counts, so that a text holding secrets
// can be sized before it is written and never moved.
#ifndef SRC_MISC_COMMON_JSONWRITER_H_
#define SRC_MISC_COMMON_JSONWRITER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class JsonWriter {
 public:
  // kCompact writes "," and ":", kSpaced ", " and ": ".
  enum class Spacing { kCompact, kSpaced };
  // kLines puts each element of a container on a line of its own, indented
  // two blanks per open container; kInline keeps them on the line.
  enum class Layout { kInline, kLines };

  // Appends to `out`, or only counts when `out` is null.
  JsonWriter(std::string* out, Spacing spacing);

  void BeginObject(Layout layout = Layout::kInline);
  void BeginArray(Layout layout = Layout::kInline);
  // Ends the innermost open object or array.
  void End();
  // The name of the member whose value comes next.
  void Key(std::string_view name);
  // `text` as a JSON string, its bytes as they are.
  void String(std::string_view text);
  // `text` as a string when it is well-formed UTF-8, else as
  // {"hex":"<its bytes in hex>"}, which no string collides with.
  void Text(std::string_view text);
  void Number(std::uint64_t number);
  void Bool(bool value);
  // `text` as it is: a value already in JSON's form ("null", a number).
  void Raw(std::string_view text);
  // A line feed, after the last value of a text.
  void EndLine();

  // Bytes written (or counted) so far.
  std::size_t size() const { return written; }

 private:
  struct Open {
    char close;  // '}' or ']'
    Layout layout;
    bool empty;
  };

  void Begin(char bracket, char close, Layout layout);

  void BeforeValue();
  void Put(std::string_view text);
  void Put(char c);
  void PutQuoted(std::string_view text);

  std::string* out;
  Spacing spacing;
  std::vector<Open> open;
  bool after_key = false;
  std::size_t written = 0;
};

#endif  // SRC_MISC_COMMON_JSONWRITER_H_
