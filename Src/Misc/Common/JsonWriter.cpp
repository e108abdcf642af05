#include "Src/Misc/Common/JsonWriter.h"

#include "Src/Misc/Common/KeyText.h"

namespace {

constexpr unsigned char kFirstPlainByte = 0x20;
constexpr std::size_t kIndentPerLevel = 2;

// The escape of `byte`, or nullptr when it is written as it is.
const char* ShortEscape(char byte) {
  switch (byte) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\b': return "\\b";
    case '\f': return "\\f";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: return nullptr;
  }
}

}  // namespace

JsonWriter::JsonWriter(std::string* out, Spacing spacing) : out(out), spacing(spacing) {}

void JsonWriter::Put(std::string_view text) {
  written += text.size();
  if (out != nullptr) out->append(text);
}

void JsonWriter::Put(char c) {
  ++written;
  if (out != nullptr) out->push_back(c);
}

void JsonWriter::BeforeValue() {
  if (after_key) {
    after_key = false;
    return;
  }
  if (open.empty()) return;
  Open& container = open.back();
  const bool lines = container.layout == Layout::kLines;
  if (!container.empty) Put(spacing == Spacing::kSpaced && !lines ? ", " : ",");
  container.empty = false;
  if (lines) {
    Put('\n');
    for (std::size_t i = 0; i < open.size() * kIndentPerLevel; ++i) Put(' ');
  }
}

void JsonWriter::Begin(char bracket, char close, Layout layout) {
  BeforeValue();
  Put(bracket);
  open.push_back({close, layout, true});
}

void JsonWriter::BeginObject(Layout layout) { Begin('{', '}', layout); }

void JsonWriter::BeginArray(Layout layout) { Begin('[', ']', layout); }

void JsonWriter::End() {
  const Open container = open.back();
  open.pop_back();
  if (container.layout == Layout::kLines && !container.empty) {
    Put('\n');
    for (std::size_t i = 0; i < open.size() * kIndentPerLevel; ++i) Put(' ');
  }
  Put(container.close);
}

void JsonWriter::Key(std::string_view name) {
  BeforeValue();
  PutQuoted(name);
  Put(spacing == Spacing::kSpaced ? ": " : ":");
  after_key = true;
}

void JsonWriter::String(std::string_view text) {
  BeforeValue();
  PutQuoted(text);
}

void JsonWriter::Text(std::string_view text) {
  if (IsUtf8(text)) {
    String(text);
    return;
  }
  BeforeValue();
  Put("{\"hex\":\"");
  for (const char byte : text) {
    const auto code = static_cast<unsigned char>(byte);
    Put(kHexDigits[code >> 4]);
    Put(kHexDigits[code & 0xF]);
  }
  Put("\"}");
}

void JsonWriter::Number(std::uint64_t number) {
  BeforeValue();
  Put(std::to_string(number));
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  Put(value ? "true" : "false");
}

void JsonWriter::Raw(std::string_view text) {
  BeforeValue();
  Put(text);
}

void JsonWriter::EndLine() { Put('\n'); }

// Bytes from 0x80 up go out unchanged: a store holds the UTF-8 its input
// had, and the reader takes it back as it is. Runs of bytes written as
// they are go out in one piece.
void JsonWriter::PutQuoted(std::string_view text) {
  Put('"');
  std::size_t run = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char byte = text[at];
    const auto code = static_cast<unsigned char>(byte);
    if (code >= kFirstPlainByte && byte != '"' && byte != '\\') continue;
    Put(text.substr(run, at - run));
    run = at + 1;
    if (const char* escape = ShortEscape(byte)) {
      Put(escape);
    } else {
      Put("\\u00");
      Put(kHexDigits[code >> 4]);
      Put(kHexDigits[code & 0xF]);
    }
  }
  Put(text.substr(run));
  Put('"');
}
