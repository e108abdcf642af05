// Every plug-in on the command frame holds the context it is handed to its
// own entry in the table of commands: kelvox refuses a faulty line before
// any plug-in runs, so only another host finds out whether a plug-in checks.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "errors/ErrorCatalogue.h"
#include "plugin/create_instance.h"
#include "suite/usage/Commands.h"

namespace {

struct CloseLibrary {
  void operator()(void* library) const { ::dlclose(library); }
};
struct DeleteCommand {
  void operator()(basic_app* command) const { delete command; }
};

TEST(PluginUsageTest, EachPluginRefusesAnOptionItsEntryLacks) {
  for (const CommandSpec& command : GetCommands()) {
    // encrypt's SetParameters keeps its own check of --configfile.
    if (std::string(command.name) == "encrypt") continue;
    SCOPED_TRACE(command.name);
    const std::string path = std::string(KELVOX_PLUGIN_DIR) + "/kelvox_" + command.plugin + ".so";
    const std::unique_ptr<void, CloseLibrary> library(::dlopen(path.c_str(), RTLD_NOW));
    ASSERT_NE(library, nullptr) << ::dlerror();
    const auto create =
        reinterpret_cast<CreateInstanceFn>(::dlsym(library.get(), KELVOX_PLUGIN_ENTRY));
    ASSERT_NE(create, nullptr);
    // An option no command has: the fault names the command whose entry
    // the plug-in checks against.
    HostContext refused;
    if (!command.actions.empty()) refused.host_list.push_back(command.actions.front().name);
    refused.options["no-such-option"] = "";
    testing::internal::CaptureStderr();
    const std::unique_ptr<basic_app, DeleteCommand> instance(create());
    EXPECT_EQ(instance->SetParameters(refused).code, ERR_INVALID_PARAMETER);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  std::string("unknown option '--no-such-option' for ") + command.name + ";"),
              std::string::npos);
  }
}

// The table names each plug-in the build makes, and no other: a command
// built without an entry could never be run.
TEST(PluginUsageTest, TheTableNamesEveryPluginBuilt) {
  std::set<std::string> built, named;
  std::istringstream list(KELVOX_BUILT_PLUGINS);
  for (std::string name; std::getline(list, name, ',');) built.insert(name);
  for (const CommandSpec& command : GetCommands()) named.insert(command.plugin);
  EXPECT_EQ(named, built);
}

}  // namespace
