// A scripted keyboard for command tests: hands out the given keys across
// fields, then end of input, for as long as it lives.
#ifndef TESTS_COMMAND_SCRIPTEDKEYS_H_
#define TESTS_COMMAND_SCRIPTEDKEYS_H_

#include <memory>
#include <string>

#include "Src/Misc/Encrypt/KeySource.h"

class ScriptedKeys : public KeySource {
 public:
  explicit ScriptedKeys(std::string keys) : keys(std::move(keys)), previous(SetKeySource(this)) {}
  ~ScriptedKeys() override { SetKeySource(previous); }

  std::unique_ptr<KeyReader> OpenField(bool /*hidden*/) override {
    ++fields_opened;
    return std::make_unique<Reader>(*this);
  }

  int fields_opened = 0;

 private:
  struct Reader : KeyReader {
    explicit Reader(ScriptedKeys& script) : script(script) {}
    int ReadKey() override {
      if (script.next >= script.keys.size()) return kEndOfInput;
      return static_cast<unsigned char>(script.keys[script.next++]);
    }
    ScriptedKeys& script;
  };
  std::string keys;
  size_t next = 0;
  KeySource* previous;
};

#endif  // TESTS_COMMAND_SCRIPTEDKEYS_H_
