// The console form (what each code does, the length limit, the field list)
// and the prompts built on it: the passphrase, kept out of console and
// log, encrypt's Y/N confirmation and the other commands' (y/N) questions.
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <sstream>

#include "Src/Misc/Common/InputForm.h"
#include "Src/Misc/Common/JsonWriter.h"
#include "Src/Misc/Common/KeyText.h"
#include "Src/Misc/Common/StorePrompts.h"
#include "errors/ErrorCatalogue.h"
#include "tests/support/ScriptedKeys.h"
#include "tests/support/TestSupport.h"

namespace {

// Standard output, captured; `flushed` is what the last flush pushed out.
struct CapturedOutput : std::stringbuf {
  CapturedOutput() : saved(std::cout.rdbuf(this)) {}
  ~CapturedOutput() override { std::cout.rdbuf(saved); }
  int sync() override { return flushed = str(), 0; }
  std::streambuf* saved;
  std::string flushed;
};

std::vector<int> Keys(const std::string& typed) { return {typed.begin(), typed.end()}; }

class PromptsTest : public testing::Test {
 protected:
  // The value of one visible field typed as `keys`.
  static std::string ReadOne(std::vector<int> keys) {
    ScriptedKeys script(std::move(keys));
    InputForm form(script);
    form.AddField("f", "Field", false);
    form.ReadFields();
    return form.GetValue("f");
  }

  std::string NewStore() { return dir.File("new.store"); }
  std::string ExistingStore() {
    testing_support::WriteFile(dir.File("old.store"), "stored");
    return dir.File("old.store");
  }
  // encrypt's passphrase prompt on `path`, new or not; the keys it did not
  // read go to remaining.
  uint32_t Ask(const std::string& path, const std::string& typed) {
    ScriptedKeys script(Keys(typed));
    const uint32_t code = AskPassphrase(script, path, path == NewStore(), passphrase);
    remaining = script.Remaining();
    return code;
  }
  bool Confirm(const std::string& typed) {
    ScriptedKeys script(Keys(typed));
    return AskToUpdate(script, "/data/x.store");
  }

  testing_support::ScopedTempDir dir;
  testing_support::ScopedLogCapture log{4};
  CapturedOutput console;
  std::string passphrase;
  std::size_t remaining = 0;
};

TEST_F(PromptsTest, BackspaceEditsAndOnlyThePrintableLowByteOfACodeIsKept) {
  EXPECT_EQ(ReadOne(Keys("a\b\n")), "");
  EXPECT_EQ(ReadOne(Keys("\b\bab\bc\n")), "ac");
  // Ctrl+C, tab, escape, the function-key prefixes, delete and a high byte
  // leave no trace; an arrow key's second code counts; 0x10D is Enter.
  EXPECT_EQ(ReadOne({'a', 3, 'b', 9, 27, 0, 127, 200, 'c', 224, 'K', 0x178, 0x10D, 'z'}), "abcKx");
  EXPECT_EQ(ReadOne(Keys("ab")), "ab");
}

TEST_F(PromptsTest, FullFieldEndsAtTheNextKeyWhichIsDropped) {
  const std::string full(kMaxFieldLength, 'x');
  ScriptedKeys script(Keys(full + "yz\n"));
  InputForm form(script);
  form.AddField("a", "A", true);
  form.AddField("b", "B", false);
  form.ReadFields();
  EXPECT_EQ(form.GetValue("a"), full);
  EXPECT_EQ(form.GetValue("b"), "z");
  EXPECT_EQ(ReadOne(Keys(full.substr(1) + "y\n")), full.substr(1) + "y");
}

// A whole field keeps every byte; Backspace takes back a whole UTF-8
// character; a line over the limit is read to its end and refused empty.
TEST_F(PromptsTest, WholeFieldKeepsTheLineOrRefusesItWhole) {
  const std::string over(kMaxWholeFieldSize + 1, 'o');
  ScriptedKeys script(Keys("a\tb\x1b\xe2\x82\xac\n" "x\xe2\x82\xac\b\xc3\xa9\n" + over + "\nnext\n"));
  InputForm form(script);
  for (const char* name : {"a", "b", "c", "d"}) form.AddField(name, name, true, FieldText::kWhole);
  form.ReadFields();
  EXPECT_EQ(form.GetValue("a"), "a\tb\x1b\xe2\x82\xac");
  EXPECT_EQ(form.GetValue("b"), "x\xc3\xa9");
  EXPECT_TRUE(form.TooLong("c") && form.GetValue("c").empty() && !form.TooLong("d"));
  EXPECT_EQ(form.GetValue("d"), "next");
}

TEST_F(PromptsTest, PromptIsFlushedBeforeReadingHiddenFieldEndsTheLineAndDuplicatesAddNothing) {
  ScriptedKeys script(Keys("secret\nshown\nw\n"), &console.flushed);
  InputForm form(script);
  form.AddField("h", "Hidden", true);
  form.AddField("v", "Visible", false);
  form.AddField("v", "Again", true);
  form.ReadFields();
  EXPECT_EQ(console.str(), "  Hidden: \n  Visible: ");
  EXPECT_EQ(script.flushed_at_first_key, (std::vector<std::string>{"  Hidden: ", "  Hidden: \n  Visible: "}));
  EXPECT_EQ(script.hidden_fields, (std::vector<bool>{true, false}));
  EXPECT_EQ(form.GetValue("v"), "shown");
  EXPECT_EQ(script.Remaining(), 2u);
  EXPECT_EQ(form.GetValue("other"), "");
}

// The passphrase is handed on only on success; `unread` shows no second attempt, no extra field.
struct Entry { bool existing; const char* typed; uint32_t code; const char* passphrase; std::size_t unread; };

TEST_F(PromptsTest, NewStoresTakeEightCharactersTwiceAndExistingOnesOnce) {
  const Entry entries[] = {
      {false, "abcdefgh\nabcdefgh\n", ERR_SUCCEED, "abcdefgh", 0},
      {true, "abcdefgh\nabcdefgh\n", ERR_SUCCEED, "abcdefgh", 9},
      {false, "abcdefg\nabcdefg\n", ERR_PASSPHRASE, "", 8},
      {true, "abcdefg\n", ERR_PASSPHRASE, "", 0},
      {true, "", ERR_PASSPHRASE, "", 0},
      {false, "abcdefgh\nabcdefgi\n", ERR_PASSPHRASE, "", 0},
      {false, "abcdefgh\nabcdefghi\n", ERR_PASSPHRASE, "", 0},
      {false, "abcdefghi\nabcdefgh\n", ERR_PASSPHRASE, "", 0},
  };
  for (const Entry& entry : entries) {
    SCOPED_TRACE(entry.typed);
    passphrase.clear();
    EXPECT_EQ(Ask(entry.existing ? ExistingStore() : NewStore(), entry.typed), entry.code);
    EXPECT_EQ(passphrase, entry.passphrase);
    EXPECT_EQ(remaining, entry.unread);
  }
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

TEST_F(PromptsTest, EnterOrASingleYInEitherCaseMeansYesAnythingElseNo) {
  ScriptedKeys script(Keys("\n"));
  EXPECT_TRUE(AskToUpdate(script, "/data/x.store"));
  EXPECT_EQ(script.hidden_fields, std::vector<bool>{false});
  for (const char* typed : {"y\n", "Y\n"}) EXPECT_TRUE(Confirm(typed)) << typed;
  // The input ending before any answer is no answer, not Enter.
  for (const char* typed : {"n\n", "N\n", "yes\n", "YES\n", " y\n", "yy\n", "", "y\b"}) EXPECT_FALSE(Confirm(typed)) << typed;
}

// Every other command's question: only y or yes, in any case, agree; Enter,
// the end of input and anything else decline. A passphrase prompt that
// input ends before anything is typed is no passphrase, not a wrong one.
TEST_F(PromptsTest, OurQuestionsDefaultToNoAndAnEndedInputGivesNoPassphrase) {
  const struct { const char* typed; bool yes; } answers[] = {
      {"", false}, {"\n", false}, {"y\n", true}, {"yes\n", true}, {"Y\n", true}, {"yEs\n", true},
      {"y", true}, {"n\n", false}, {"yess\n", false}, {" y\n", false}};
  for (const bool store : {false, true}) {
    for (const auto& answer : answers) {
      SCOPED_TRACE(answer.typed);
      console.str("");
      ScriptedKeys script(Keys(answer.typed));
      EXPECT_EQ(store ? AskToChangeStore(script, "/data/x.store") : AskYesNo(script, "Go on"), answer.yes);
      EXPECT_NE(console.str().find(" (y/N)?\n  Enter (y/N): "), std::string::npos) << console.str();
    }
  }
  for (const bool existing : {true, false}) {
    for (const auto& [typed, code] : {std::pair<const char*, uint32_t>{"", ERR_USER_QUIT}, {"\n", ERR_PASSPHRASE}, {"abcdefgh\nabcdefgh\n", ERR_SUCCEED}}) {
      ScriptedKeys script(Keys(typed));
      EXPECT_EQ(existing ? AskExistingPassphrase(script, ExistingStore(), 8, passphrase) : AskNewPassphrase(script, NewStore(), 8, passphrase), code) << typed;
    }
  }
}

// A key is shown so that it cannot end a line or pass for another, and in
// JSON always as valid JSON, a malformed one never as a string.
TEST(KeyTextTest, KeysAreShownWithoutAmbiguity) {
  const struct { const char* key; bool plain; const char* shown; const char* json; } rows[] = {
      {"db.password", true, "db.password", "\"db.password\""},
      {"\xc3\xa9t\xc3\xa9", true, "\xc3\xa9t\xc3\xa9", "\"\xc3\xa9t\xc3\xa9\""},
      {"a\nb", false, "a\\x0ab", "\"a\\nb\""},
      {"\\\x1b[2J", false, "\\\\\\x1b[2J", "\"\\\\\\u001b[2J\""},
      {"\xff\xfe", false, "\\xff\\xfe", "{\"hex\":\"fffe\"}"},
      {"\xc3\xa9\xc0\xaf", false, "\xc3\xa9\\xc0\\xaf", "{\"hex\":\"c3a9c0af\"}"},  // overlong
      {"\xed\xa0\x80", false, "\\xed\\xa0\\x80", "{\"hex\":\"eda080\"}"},  // a surrogate
      {"\xc2\x85", false, "\\xc2\\x85", "\"\xc2\x85\""},  // a C1 control, well-formed
  };
  for (const auto& row : rows) {
    std::string shown, json;
    AppendShownText(row.key, shown);
    JsonWriter(&json, JsonWriter::Spacing::kCompact).Text(row.key);
    EXPECT_EQ(IsPlainText(row.key), row.plain) << row.key;
    EXPECT_EQ(shown, row.shown);
    EXPECT_EQ(json, row.json);
  }
}

}  // namespace
