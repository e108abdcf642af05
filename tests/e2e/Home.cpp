#include "tests/e2e/Home.h"

#include <boost/filesystem.hpp>

namespace e2e {

Home::Home() { WriteConfig(); }

void Home::WriteConfig(std::map<std::string, std::string> changes, const std::string& at) {
  changes.insert({{"ENCRYPT_SETTING_PATH", dir.File("settings.store")},
                  {"ENCRYPTED_CREDENTIALS_FILE_PATH", dir.File("credentials.store")},
                  {"ENCRYPT_HOST_KEY_PATH", dir.File("host.key")},
                  {"ENCRYPT_KDF_OPSLIMIT", "1"}, {"ENCRYPT_KDF_MEMLIMIT", "8192"},
                  {"LOG_FILE", dir.File("kelvox.log")}, {"LOG_LEVEL", "4"}});
  std::string text;
  for (const auto& [key, value] : changes) {
    if (!value.empty()) text += key + "=" + value + "\n";
  }
  testing_support::WriteFile(config = dir.File(at), text);
}

Environment Home::Env(const Environment& extra) const {
  Environment environment = {{"KELVOX_GLOBAL_CONFIG", config}, {"VISUAL", ""}, {"EDITOR", "true"}};
  for (const auto& [name, value] : extra) environment[name] = value;
  return environment;
}

std::vector<std::string> Home::Args(std::vector<std::string> args) const {
  for (std::string& arg : args) arg = arg.rfind("@", 0) == 0 ? dir.File(arg.substr(1)) : arg;
  args.insert(args.begin(), KELVOX_PROGRAM);
  return args;
}

Finished Home::Run(const std::vector<std::string>& args, const std::string& input,
                   const Environment& extra) const {
  return RunWithPipes(Args(args), Env(extra), input);
}

std::string Home::Editor(const std::string& name, const std::string& body) const {
  testing_support::WriteFile(
      dir.File(name), "#!/bin/sh\necho \"$1\" > " + dir.File("edited-path") + "\n" + body + "\n");
  boost::filesystem::permissions(dir.File(name), boost::filesystem::owner_all);
  return dir.File(name);
}

}  // namespace e2e
