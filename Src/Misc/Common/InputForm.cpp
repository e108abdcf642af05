#include "Src/Misc/Common/InputForm.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/KeySource.h"
#include "Src/Misc/Common/Secrets.h"

namespace {

constexpr unsigned char kBackspace = 8;
constexpr unsigned char kLineFeed = 10;
constexpr unsigned char kCarriageReturn = 13;
constexpr unsigned char kFirstPrintable = 32;
constexpr unsigned char kLastPrintable = 126;
constexpr int kLowByte = 0xFF;
// What a raw terminal (or the Windows console) gives for Ctrl+C.
constexpr unsigned char kInterruptKey = 3;
// The bits that mark a byte continuing a UTF-8 character (10xxxxxx), and
// the most bytes one character takes.
constexpr unsigned char kContinuationMask = 0xC0;
constexpr unsigned char kContinuationBits = 0x80;
constexpr std::size_t kMaxCharacterBytes = 4;

bool end_run_on_interrupt = false;

bool IsPrintable(unsigned char code) { return code >= kFirstPrintable && code <= kLastPrintable; }

// Backspace in a whole field: removes the last UTF-8 character, its
// continuation bytes and the byte that starts it, so no half character is
// left behind. pop_back overwrites each byte it removes.
void EraseLastCharacter(std::string& held) {
  for (std::size_t removed = 0; !held.empty() && removed < kMaxCharacterBytes; ++removed) {
    const bool continues =
        (static_cast<unsigned char>(held.back()) & kContinuationMask) == kContinuationBits;
    held.pop_back();
    if (!continues) break;
  }
}

}  // namespace

bool FitsPrintableField(const std::string& text) {
  if (text.size() > kMaxFieldLength) return false;
  for (const char c : text) {
    if (!IsPrintable(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

InputForm::~InputForm() {
  for (Value& entry : values) WipeString(entry.value);
}

void InputForm::AddField(const std::string& name, const std::string& description, bool hidden,
                         FieldText text) {
  for (const Value& entry : values) {
    if (entry.name == name) return;
  }
  fields.push_back(Field{description, hidden, text});
  values.push_back(Value{name, std::string(), false, false});
}

void InputForm::EndRunOnInterrupt() { end_run_on_interrupt = true; }

void InputForm::ReadFields() {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    bool interrupted = false;
    std::string text;
    {
      // Echo goes off before the prompt appears, so a key typed as soon as
      // the prompt shows is never echoed; the prompt is flushed before the
      // first key is read, or the user would type blind.
      const std::unique_ptr<KeyReader> reader = keys.OpenField(fields[i].hidden);
      ConsoleOutput() << "  " << fields[i].description << ": " << std::flush;
      text = ReadField(*reader, fields[i].text, values[i].input_ended, values[i].too_long,
                       interrupted);
    }
    if (interrupted) {
      // The console is back as it was (the reader is gone); nothing typed
      // outlives the run.
      WipeString(text);
      for (Value& entry : values) WipeString(entry.value);
      ConsoleOutput() << '\n' << std::flush;
      std::fflush(nullptr);
      std::_Exit(kInterruptedStatus);
    }
    // The earlier value is wiped, not just replaced: it may be a passphrase.
    WipeString(values[i].value);
    values[i].value.swap(text);
    // The Enter that ended a hidden field was not echoed.
    if (fields[i].hidden) ConsoleOutput() << '\n' << std::flush;
  }
}

std::string InputForm::GetValue(const std::string& name) const {
  for (const Value& entry : values) {
    if (entry.name == name) return entry.value;
  }
  return std::string();
}

bool InputForm::EndedAtEndOfInput(const std::string& name) const {
  for (const Value& entry : values) {
    if (entry.name == name) return entry.input_ended;
  }
  return false;
}

bool InputForm::TooLong(const std::string& name) const {
  for (const Value& entry : values) {
    if (entry.name == name) return entry.too_long;
  }
  return false;
}

std::string InputForm::ReadField(KeyReader& reader, FieldText text, bool& input_ended,
                                 bool& too_long, bool& interrupted) {
  input_ended = false;
  too_long = false;
  const bool whole = text == FieldText::kWhole;
  std::string held;
  // Reserved up front so the text never moves while it grows: a
  // reallocation would leave a copy of a passphrase in freed memory.
  // Backspace needs no wiping, as pop_back overwrites the removed character.
  held.reserve(whole ? kMaxWholeFieldSize : kMaxFieldLength);
  for (;;) {
    const int key = reader.ReadKey();
    if (key == KeyReader::kEndOfInput) {
      input_ended = true;
      break;
    }
    const auto code = static_cast<unsigned char>(key & kLowByte);
    if (code == kCarriageReturn || code == kLineFeed) break;
    if (code == kInterruptKey && end_run_on_interrupt) {
      interrupted = true;
      break;
    }
    if (whole) {
      // Nothing is dropped: a line over the limit is read to its end and
      // refused whole, never stored cut.
      if (code == kBackspace) {
        if (!too_long) EraseLastCharacter(held);
      } else if (held.size() < kMaxWholeFieldSize) {
        held.push_back(static_cast<char>(code));
      } else {
        too_long = true;
      }
      continue;
    }
    // A full field ends at the next key, which is dropped.
    if (held.size() >= kMaxFieldLength) break;
    if (code == kBackspace) {
      if (!held.empty()) held.pop_back();
    } else if (IsPrintable(code)) {
      held.push_back(static_cast<char>(code));
    }
    // Every other code (Ctrl+C, tab, escape, the prefix of a function or
    // arrow key) is ignored and the field goes on.
  }
  if (too_long) WipeString(held);
  return held;
}
