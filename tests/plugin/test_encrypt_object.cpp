// The command object across the plug-in boundary: construction, the
// context copy, the "configfile" check and its notice, and the trace lines.
#include <gtest/gtest.h>

#include <memory>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "plugin/create_instance.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::ScopedLogCapture;

// Exposes the members and records its own destruction.
class ProbeEncrypt : public ENCRYPT {
 public:
  explicit ProbeEncrypt(bool* destroyed = nullptr) : destroyed(destroyed) {}
  ~ProbeEncrypt() override {
    if (destroyed != nullptr) *destroyed = true;
  }
  const HostContext& Context() const { return context; }
  const std::map<FileType, Reader>& Readers() const { return file_readers; }

 private:
  bool* destroyed;
};

HostContext FullContext(const std::string& tag) {
  HostContext context;
  context.host_string_1 = tag + "1";
  context.host_string_2 = tag + "2";
  context.host_string_3 = tag + "3";
  context.host_string_4 = tag + "4";
  context.host_number_1 = -7;
  context.host_number_2 = 1 << 30;
  context.host_number_3 = 42;
  context.host_number_64 = int64_t{1} << 40;
  context.host_list = {tag, "", tag + tag};
  context.options = {{"configfile", tag + ".json"}, {"quiet", ""}};
  return context;
}

void ExpectSameContext(const HostContext& a, const HostContext& b) {
  EXPECT_EQ(a.host_string_1, b.host_string_1);
  EXPECT_EQ(a.host_string_2, b.host_string_2);
  EXPECT_EQ(a.host_string_3, b.host_string_3);
  EXPECT_EQ(a.host_string_4, b.host_string_4);
  EXPECT_EQ(a.host_number_1, b.host_number_1);
  EXPECT_EQ(a.host_number_2, b.host_number_2);
  EXPECT_EQ(a.host_number_3, b.host_number_3);
  EXPECT_EQ(a.host_number_64, b.host_number_64);
  EXPECT_EQ(a.host_list, b.host_list);
  EXPECT_EQ(a.options, b.options);
}

class MinimalApp : public basic_app {
 public:
  CommandResult Run() override { return CommandResult{}; }
};

TEST(FactoryTest, EachCallReturnsAnIndependentObject) {
  std::unique_ptr<basic_app> first(create_instance());
  std::unique_ptr<basic_app> second(create_instance());
  ASSERT_NE(first.get(), second.get());
  HostContext with_file;
  with_file.options["configfile"] = "a.json";
  EXPECT_EQ(first->SetParameters(with_file).code, 0u);
  first.reset();
  // The survivor still refuses on its own (empty) context.
  testing::internal::CaptureStderr();
  EXPECT_EQ(second->SetParameters(HostContext{}).code, 5u);
  testing::internal::GetCapturedStderr();
}

TEST(FactoryTest, DeletingThroughTheBaseRunsTheCommandDestructor) {
  bool destroyed = false;
  basic_app* app = new ProbeEncrypt(&destroyed);
  delete app;
  EXPECT_TRUE(destroyed);
}

TEST(BasicAppTest, DefaultOperationsSucceedWithEmptyMessages) {
  MinimalApp app;
  const CommandResult set = app.SetParameters(FullContext("x"));
  const CommandResult finish = app.Finish();
  EXPECT_EQ(set.code, 0u);
  EXPECT_TRUE(set.message.empty());
  EXPECT_EQ(finish.code, 0u);
  EXPECT_TRUE(finish.message.empty());
  static_assert(std::is_abstract_v<basic_app>);
}

TEST(EncryptObjectTest, ReadersRunSettingsBeforeCredentials) {
  ProbeEncrypt command;
  ASSERT_EQ(command.Readers().size(), 2u);
  auto it = command.Readers().begin();
  EXPECT_EQ(it->first, SensitiveSetting);
  EXPECT_EQ(it->second, &ENCRYPT::ReadSensitiveSettingFile);
  ++it;
  EXPECT_EQ(it->first, Credential);
  EXPECT_EQ(it->second, &ENCRYPT::ReadCredentialFile);
}

TEST(SetParametersTest, KeepsEveryFieldOfTheContext) {
  ProbeEncrypt command;
  const HostContext context = FullContext("first");
  EXPECT_EQ(command.SetParameters(context).code, 0u);
  ExpectSameContext(command.Context(), context);
}

TEST(SetParametersTest, SecondCallReplacesTheWholeContext) {
  ProbeEncrypt command;
  (void)command.SetParameters(FullContext("first"));
  HostContext second = FullContext("second");
  second.options = {{"configfile", ""}};
  (void)command.SetParameters(second);
  ExpectSameContext(command.Context(), second);
}

TEST(SetParametersTest, EmptyConfigFileValuePasses) {
  ProbeEncrypt command;
  HostContext context;
  context.options["configfile"] = "";
  const CommandResult result = command.SetParameters(context);
  EXPECT_EQ(result.code, 0u);
  EXPECT_TRUE(result.message.empty());
}

TEST(SetParametersTest, OptionNameIsCaseSensitive) {
  ProbeEncrypt command;
  HostContext context;
  context.options["ConfigFile"] = "a.json";
  testing::internal::CaptureStderr();
  EXPECT_EQ(command.SetParameters(context).code, 5u);
  testing::internal::GetCapturedStderr();
}

TEST(SetParametersTest, RefusalGoesToStandardErrorAndLogWithEmptyMessage) {
  for (unsigned level : {0u, 1u, 4u}) {
    ScopedLogCapture log(level);
    ProbeEncrypt command;
    HostContext context = FullContext("kept");
    context.options.erase("configfile");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const CommandResult result = command.SetParameters(context);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result.code, 5u);
    EXPECT_TRUE(result.message.empty());
    EXPECT_EQ(err, "You must specify configure file by --configfile\n") << "level " << level;
    EXPECT_TRUE(out.empty());
    // The copy is kept even though the check failed.
    ExpectSameContext(command.Context(), context);
    const bool logged =
        log.Text().find("You must specify configure file by --configfile") != std::string::npos;
    EXPECT_EQ(logged, level >= 1) << "level " << level;
  }
}

TEST(FinishTest, SucceedsWhateverHappenedBefore) {
  ProbeEncrypt fresh;
  EXPECT_EQ(fresh.Finish().code, 0u);
  EXPECT_TRUE(fresh.Finish().message.empty());
  ProbeEncrypt refused;
  testing::internal::CaptureStderr();
  (void)refused.SetParameters(HostContext{});
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(refused.Finish().code, 0u);
}

TEST(TraceTest, ConstructorTracesOnlyAtLevelFour) {
  {
    ScopedLogCapture log(3);
    ProbeEncrypt command;
    EXPECT_EQ(log.Text(), "");
  }
  ScopedLogCapture log(4);
  ProbeEncrypt command;
  const std::string text = log.Text();
  const size_t entering = text.find("Entering  ENCRYPT::ENCRYPT");
  const size_t exiting = text.find("Exiting  ENCRYPT::ENCRYPT");
  ASSERT_NE(entering, std::string::npos);
  ASSERT_NE(exiting, std::string::npos);
  EXPECT_LT(entering, exiting);
  EXPECT_NE(text.find("Src/Misc/Encrypt/Encrypt.cpp:"), std::string::npos);
}

}  // namespace
