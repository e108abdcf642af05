// The console form (what each code does, the length limit, the field list)
// and the two prompts built on it: the passphrase, kept out of console and
// log, and the Y/N confirmation.
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <sstream>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "Src/Misc/Encrypt/InputForm.h"
#include "Src/Misc/Encrypt/KeySource.h"
#include "errors/ErrorCatalogue.h"
#include "tests/support/TestSupport.h"

namespace {

// Standard output, captured; `flushed` is what the last flush pushed out.
struct CapturedOutput : std::stringbuf {
  CapturedOutput() : saved(std::cout.rdbuf(this)) {}
  ~CapturedOutput() override { std::cout.rdbuf(saved); }
  int sync() override {
    flushed = str();
    return 0;
  }
  std::streambuf* saved;
  std::string flushed;
};

std::vector<int> Keys(const std::string& typed) { return {typed.begin(), typed.end()}; }

// The key source for its lifetime: hands out `keys` across fields, then end
// of input. Notes each field's kind and what had been flushed when its first
// key was read.
class ScriptedKeys : public KeySource {
 public:
  explicit ScriptedKeys(std::vector<int> keys, const CapturedOutput* console = nullptr)
      : keys(std::move(keys)), console(console), previous(SetKeySource(this)) {}
  ~ScriptedKeys() override { SetKeySource(previous); }

  std::unique_ptr<KeyReader> OpenField(bool hidden) override {
    hidden_fields.push_back(hidden);
    return std::make_unique<Reader>(*this);
  }
  std::size_t Remaining() const { return keys.size() - next; }

  std::vector<bool> hidden_fields;
  std::vector<std::string> flushed_at_first_key;

 private:
  struct Reader : KeyReader {
    explicit Reader(ScriptedKeys& script) : script(script) {}
    int ReadKey() override {
      if (first && script.console != nullptr) {
        script.flushed_at_first_key.push_back(script.console->flushed);
      }
      first = false;
      return script.next < script.keys.size() ? script.keys[script.next++] : kEndOfInput;
    }
    ScriptedKeys& script;
    bool first = true;
  };
  std::vector<int> keys;
  std::size_t next = 0;
  const CapturedOutput* console;
  KeySource* previous;
};

class PromptsTest : public testing::Test {
 protected:
  // The value of one visible field typed as `keys`.
  static std::string ReadOne(std::vector<int> keys) {
    ScriptedKeys script(std::move(keys));
    InputForm form;
    form.AddField("f", "Field", false);
    form.ReadFields();
    return form.GetValue("f");
  }

  std::string NewStore() const { return dir.File("new.store"); }
  std::string ExistingStore() const {
    testing_support::WriteFile(dir.File("old.store"), "stored");
    return dir.File("old.store");
  }
  // The passphrase prompt on `path`; the keys it did not read go to remaining.
  uint32_t Ask(const std::string& path, const std::string& typed) {
    ScriptedKeys script(Keys(typed));
    const uint32_t code = command.GetUserPassphrase(passphrase, path).code;
    remaining = script.Remaining();
    return code;
  }
  bool Confirm(const std::string& typed) {
    ScriptedKeys script(Keys(typed));
    return command.ConfirmUpdate("/data/x.store");
  }

  testing_support::ScopedTempDir dir;
  testing_support::ScopedLogCapture log{4};
  CapturedOutput console;
  ENCRYPT command;
  std::string passphrase;
  std::size_t remaining = 0;
};

TEST_F(PromptsTest, BackspaceRemovesTheLastCharacterAndNothingWhenEmpty) {
  EXPECT_EQ(ReadOne(Keys("a\b\n")), "");
  EXPECT_EQ(ReadOne(Keys("\b\bab\bc\n")), "ac");
}

TEST_F(PromptsTest, OnlyThePrintableLowByteOfACodeIsKept) {
  // Ctrl+C, tab, escape, the function-key prefixes, delete and a high byte
  // leave no trace; an arrow key's second code counts; 0x10D is Enter.
  EXPECT_EQ(ReadOne({'a', 3, 'b', 9, 27, 0, 127, 200, 'c', 224, 'K', 0x178, 0x10D, 'z'}), "abcKx");
  EXPECT_EQ(ReadOne(Keys("ab")), "ab");
}

TEST_F(PromptsTest, FullFieldEndsAtTheNextKeyWhichIsDropped) {
  const std::string full(kMaxFieldLength, 'x');
  ScriptedKeys script(Keys(full + "yz\n"));
  InputForm form;
  form.AddField("a", "A", true);
  form.AddField("b", "B", false);
  form.ReadFields();
  EXPECT_EQ(form.GetValue("a"), full);
  EXPECT_EQ(form.GetValue("b"), "z");
  EXPECT_EQ(ReadOne(Keys(full.substr(1) + "y\n")), full.substr(1) + "y");
}

TEST_F(PromptsTest, DuplicateFieldNameAddsNothingAndUnknownNameIsEmpty) {
  ScriptedKeys script(Keys("v\nw\n"));
  InputForm form;
  form.AddField("f", "First", false);
  form.AddField("f", "Second", true);
  form.ReadFields();
  EXPECT_EQ(console.str(), "  First: ");
  EXPECT_EQ(form.GetValue("f"), "v");
  EXPECT_EQ(script.Remaining(), 2u);
  EXPECT_EQ(form.GetValue("other"), "");
}

TEST_F(PromptsTest, PromptIsFlushedBeforeReadingAndHiddenFieldEndsTheLine) {
  ScriptedKeys script(Keys("secret\nshown\n"), &console);
  InputForm form;
  form.AddField("h", "Hidden", true);
  form.AddField("v", "Visible", false);
  form.ReadFields();
  EXPECT_EQ(console.str(), "  Hidden: \n  Visible: ");
  EXPECT_EQ(script.flushed_at_first_key,
            (std::vector<std::string>{"  Hidden: ", "  Hidden: \n  Visible: "}));
  EXPECT_EQ(script.hidden_fields, (std::vector<bool>{true, false}));
}

TEST_F(PromptsTest, NewStoreTakesEightCharactersTypedTwice) {
  EXPECT_EQ(Ask(NewStore(), "abcdefgh\nabcdefgh\n"), ERR_SUCCEED);
  EXPECT_EQ(passphrase, "abcdefgh");
  EXPECT_EQ(console.str(), "please enter the passphrase for \"" + NewStore() +
                                "\". (at least 8 characters):\n  Enter passphrase: \n"
                                "please confirm again:\n  Enter passphrase: \n");
}

TEST_F(PromptsTest, ExistingStoreAsksOnceWithoutStatingTheMinimum) {
  EXPECT_EQ(Ask(ExistingStore(), "abcdefgh\nabcdefgh\n"), ERR_SUCCEED);
  EXPECT_EQ(passphrase, "abcdefgh");
  EXPECT_EQ(remaining, 9u);
  EXPECT_EQ(console.str(),
            "please enter the passphrase for \"" + ExistingStore() + "\".\n  Enter passphrase: \n");
}

// ---- Rejected entries: 46, no second attempt, nothing handed on.

TEST_F(PromptsTest, SevenCharactersFailBeforeAnyConfirmation) {
  EXPECT_EQ(Ask(NewStore(), "abcdefg\nabcdefg\n"), ERR_PASSPHRASE);
  EXPECT_EQ(remaining, 8u);
  EXPECT_EQ(console.str().find("confirm"), std::string::npos);
  EXPECT_EQ(Ask(ExistingStore(), "abcdefg\n"), ERR_PASSPHRASE);
  EXPECT_EQ(passphrase, "");
}

TEST_F(PromptsTest, ConfirmationMustMatchInLengthAndEveryByte) {
  EXPECT_EQ(Ask(NewStore(), "abcdefgh\nabcdefgi\n"), ERR_PASSPHRASE);
  EXPECT_EQ(Ask(NewStore(), "abcdefgh\nabcdefghi\n"), ERR_PASSPHRASE);
  EXPECT_EQ(Ask(NewStore(), "abcdefghi\nabcdefgh\n"), ERR_PASSPHRASE);
  EXPECT_EQ(passphrase, "");
}

TEST_F(PromptsTest, PassphraseReachesNeitherConsoleNorLog) {
  const std::string secret = "Zq7-secret-WORD";
  EXPECT_EQ(Ask(NewStore(), secret + "\n" + secret + "\n"), ERR_SUCCEED);
  EXPECT_EQ(Ask(NewStore(), secret + "\n" + secret + "x\n"), ERR_PASSPHRASE);
  EXPECT_EQ(Ask(ExistingStore(), secret + "\n"), ERR_SUCCEED);
  const std::string text = log.Text();
  EXPECT_NE(text.find("please confirm again:"), std::string::npos) << "log not captured";
  EXPECT_EQ(text.find("secret"), std::string::npos) << text;
  EXPECT_EQ(console.str().find("secret"), std::string::npos) << console.str();
}

// ---- The update confirmation.

TEST_F(PromptsTest, EnterOrASingleYInEitherCaseMeansYes) {
  ScriptedKeys script(Keys("\n"));
  EXPECT_TRUE(command.ConfirmUpdate("/data/x.store"));
  EXPECT_EQ(console.str(),
            "Are you sure you want to continue to update the file /data/x.store (Y/N)?\n"
            "  Enter (Y/N): ");
  EXPECT_EQ(script.hidden_fields, std::vector<bool>{false});
  EXPECT_TRUE(Confirm("y\n"));
  EXPECT_TRUE(Confirm("Y\n"));
}

TEST_F(PromptsTest, AnythingElseMeansNo) {
  // The input ending before any answer is no answer, not Enter.
  for (const char* typed : {"n\n", "N\n", "yes\n", "YES\n", " y\n", "yy\n", "", "y\b"}) {
    EXPECT_FALSE(Confirm(typed)) << typed;
  }
}

}  // namespace
