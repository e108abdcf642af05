// Each plug-in's dynamic symbol table holds one definition: create_instance.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> DefinedDynamicSymbols(const std::string& library) {
  const std::string command = "nm -D --defined-only '" + library + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::vector<std::string> names;
  if (!pipe) return names;
  char line[4096];
  while (fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (fields >> address >> type >> name) names.push_back(name);
  }
  return names;
}

TEST(PluginExportTest, OnlyTheFactoryIsExported) {
  for (const char* command : {"encrypt", "decrypt", "list", "verify", "remove", "rekey", "hostkey",
                              "get", "set", "edit"}) {
    const std::string path = std::string(KELVOX_PLUGIN_DIR) + "/kelvox_" + command + ".so";
    EXPECT_EQ(DefinedDynamicSymbols(path), std::vector<std::string>{"create_instance"}) << path;
  }
}

}  // namespace
