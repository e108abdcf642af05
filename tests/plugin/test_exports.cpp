// Each plug-in's dynamic symbol table holds one definition: create_instance.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
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
  // Every plug-in built, whichever commands there are.
  std::size_t found = 0;
  for (const auto& entry : std::filesystem::directory_iterator(KELVOX_PLUGIN_DIR)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("kelvox_", 0) != 0 || entry.path().extension() != ".so") continue;
    ++found;
    EXPECT_EQ(DefinedDynamicSymbols(entry.path().string()),
              std::vector<std::string>{"create_instance"})
        << name;
  }
  EXPECT_GT(found, 1u);
}

}  // namespace
