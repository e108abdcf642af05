// A scripted keyboard for tests, benchmarks and fuzzers: the key source a
// form or command is handed, handing out its codes across fields, then end
// of input. It notes each field's kind and, when given the console's text,
// what had been flushed by the time a field read its first key.
#ifndef TESTS_SUPPORT_SCRIPTEDKEYS_H_
#define TESTS_SUPPORT_SCRIPTEDKEYS_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "Src/Misc/Common/KeySource.h"

class ScriptedKeys : public KeySource {
 public:
  explicit ScriptedKeys(const std::string& typed, const std::string* flushed = nullptr)
      : ScriptedKeys(std::vector<int>(typed.begin(), typed.end()), flushed) {}
  explicit ScriptedKeys(std::vector<int> codes, const std::string* flushed = nullptr)
      : codes(std::move(codes)), flushed(flushed) {}

  std::unique_ptr<KeyReader> OpenField(bool hidden) override {
    hidden_fields.push_back(hidden);
    return std::make_unique<Reader>(*this);
  }
  std::size_t Remaining() const { return codes.size() - next; }

  std::vector<bool> hidden_fields;
  std::vector<std::string> flushed_at_first_key;

 private:
  struct Reader : KeyReader {
    explicit Reader(ScriptedKeys& script) : script(script) {}
    int ReadKey() override {
      if (first && script.flushed != nullptr) script.flushed_at_first_key.push_back(*script.flushed);
      first = false;
      return script.next < script.codes.size() ? script.codes[script.next++] : kEndOfInput;
    }
    ScriptedKeys& script;
    bool first = true;
  };
  std::vector<int> codes;
  std::size_t next = 0;
  const std::string* flushed;
};

#endif  // TESTS_SUPPORT_SCRIPTEDKEYS_H_
