// kelvox: the host program. Parses the command line into a HostContext,
// loads the command's plug-in from its own directory and drives it:
// SetParameters, then Run (only when SetParameters succeeded), then Finish.
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "host/KelvoxDirectory.h"
#include "host/Log.h"
#include "plugin/create_instance.h"
#include "suite/kelvox/CommandLine.h"
#include "suite/kelvox/Commands.h"
#include "suite/kelvox/PluginLibrary.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitLargeCode = 1;
// Neither number is a code the command returns (the catalogue has no 2 or 31).
constexpr int kExitUsage = 2;
constexpr int kExitPluginLoad = 31;
constexpr uint32_t kLargestExitCode = 255;

constexpr char kVersion[] = "kelvox 0.1.0";

// Deletes the command through basic_app, as the plug-in boundary requires.
struct CommandDeleter {
  void operator()(basic_app* command) const { delete command; }
};
using CommandPtr = std::unique_ptr<basic_app, CommandDeleter>;

int ExitStatusFor(uint32_t code) {
  if (code == 0) return kExitSuccess;
  return code <= kLargestExitCode ? static_cast<int>(code) : kExitLargeCode;
}

// Prints a failed result: its message when filled, and its code in full;
// then where the log holds the details (which file, and why).
void ReportFailure(const CommandResult& result) {
  std::cerr << "kelvox: ";
  if (!result.message.empty()) std::cerr << result.message << " ";
  std::cerr << "(code " << result.code << ")\n";
  const std::string log = ZUdurov::Log::GetLogFilePath();
  if (!log.empty() && ZUdurov::Log::GetMinLogLevel() > 0) {
    std::cerr << "kelvox: details are in the log " << log << "\n";
  }
}

int RunCommand(const CommandLine& line) {
  const std::string path =
      KelvoxDirectory::GetExePath(GetPluginFileName(FindCommand(line.command)->plugin));
  PluginLibrary library;
  std::string error;
  if (!library.Open(path, error)) {
    std::cerr << "kelvox: cannot load plug-in '" << path << "': " << error << "\n";
    return kExitPluginLoad;
  }
  auto create = reinterpret_cast<CreateInstanceFn>(library.FindSymbol(KELVOX_PLUGIN_ENTRY, error));
  if (create == nullptr) {
    std::cerr << "kelvox: plug-in '" << path << "' has no " << KELVOX_PLUGIN_ENTRY << ": "
              << error << "\n";
    return kExitPluginLoad;
  }

  // The object must be gone before `library` unloads its code.
  CommandResult result;
  {
    CommandPtr command(create());
    result = command->SetParameters(line.context);
    if (result.code == 0) {
      result = command->Run();
      // Finish reports nothing the run has not; its result is informational.
      (void)command->Finish();
    }
  }
  if (result.code != 0) ReportFailure(result);
  return ExitStatusFor(result.code);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const CommandLine line = ParseCommandLine(args);
  switch (line.action) {
    case CommandLine::Action::kHelp:
      std::cout << GetUsageText();
      return kExitSuccess;
    case CommandLine::Action::kVersion:
      std::cout << kVersion << "\n";
      return kExitSuccess;
    case CommandLine::Action::kCommandHelp:
      std::cout << GetCommandUsage(*FindCommand(line.command));
      return kExitSuccess;
    case CommandLine::Action::kUsageError:
      std::cerr << "kelvox: " << line.error << "\n";
      if (const CommandSpec* command = FindCommand(line.command)) {
        std::cerr << GetCommandUsage(*command);
      } else {
        std::cerr << GetUsageText();
      }
      return kExitUsage;
    case CommandLine::Action::kRun:
      break;
  }
  return RunCommand(line);
}
