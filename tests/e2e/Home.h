// A user's world for the real program: a fresh folder, the configuration
// kelvox reads from it, and runs of kelvox pointed at that configuration.
// Test fixtures derive from HomeTest.
#ifndef TESTS_E2E_HOME_H_
#define TESTS_E2E_HOME_H_

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/e2e/Process.h"
#include "tests/support/TestSupport.h"

namespace e2e {

class Home {
 public:
  // Writes the default configuration, global.config.
  Home();

  // Writes the configuration File(at) and makes it the one runs use: the
  // stores settings.store and credentials.store and the key host.key in the
  // folder, the cheapest key derivation, kelvox.log at level 4; each entry
  // of `changes` ("KEY", "VALUE") replaces its key's line, an empty value
  // removes it.
  void WriteConfig(std::map<std::string, std::string> changes = {},
                   const std::string& at = "global.config");
  // The environment of a run: the configuration, the editor `true` (VISUAL
  // emptied), then `extra` over them.
  Environment Env(const Environment& extra = {}) const;
  // The program and `args`, "@name" standing for File(name).
  std::vector<std::string> Args(std::vector<std::string> args) const;
  // Runs kelvox with pipes and no terminal, `input` on standard input.
  Finished Run(const std::vector<std::string>& args, const std::string& input = "",
               const Environment& extra = {}) const;
  // Writes the editor script `name`: it records the file it was handed in
  // File("edited-path"), then runs `body` on "$1". Returns its path.
  std::string Editor(const std::string& name, const std::string& body) const;

  testing_support::ScopedTempDir dir;
  std::string config;  // the configuration runs use
};

// A GoogleTest fixture in a Home; `Base` is testing::Test or a
// testing::TestWithParam. (Run names Home's, not the base's own.)
template <typename Base = testing::Test>
class HomeTest : public Base, public Home {
 public:
  using Home::Run;
};

}  // namespace e2e

#endif  // TESTS_E2E_HOME_H_
