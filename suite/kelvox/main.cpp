// kelvox: the host program. Parses the command line into a HostContext,
// loads the command's plug-in (from the suite's private folder, else from
// beside the program) and drives it:
// SetParameters, then Run (only when SetParameters succeeded), then Finish.
#include <cstdint>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "errors/ErrorCatalogue.h"
#include "host/Log.h"
#include "kelvox/Version.h"
#include "plugin/create_instance.h"
#include "suite/kelvox/CommandLine.h"
#include "suite/kelvox/Completion.h"
#include "suite/kelvox/PluginPaths.h"
#include "suite/platform/Heap.h"
#include "suite/platform/Process.h"
#include "suite/platform/ProgramEntry.h"
#include "suite/platform/SharedLibrary.h"
#include "suite/platform/StandardStreams.h"
#include "suite/usage/Commands.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitLargeCode = 1;
// None of these is a status a command result can give: the catalogue has no
// 2 or 31, its common codes stop at 67, and every other category's codes
// exceed 255 and exit as 1. 70 and 71 are the usual "internal software
// error" and "system error" statuses.
constexpr int kExitUsage = 2;
constexpr int kExitPluginLoad = 31;
constexpr int kExitCommandThrew = 70;
constexpr int kExitNoStandardStreams = 71;
constexpr uint32_t kLargestExitCode = 255;

// True when a common (category 0) catalogue code equals `status`.
constexpr bool IsCommonResultCode(int status) {
#define KELVOX_ERROR(name, category, code, message) \
  if ((category) == 0 && (code) == status) return true;
#include "errors/ErrorCatalogue.def"
#undef KELVOX_ERROR
  return false;
}
static_assert(!IsCommonResultCode(kExitUsage) && !IsCommonResultCode(kExitPluginLoad) &&
                  !IsCommonResultCode(kExitCommandThrew) &&
                  !IsCommonResultCode(kExitNoStandardStreams),
              "a host status must differ from every command result");

constexpr char kVersion[] = "kelvox " KELVOX_VERSION;
// The first argument of the shell completion's question (Completion.h).
constexpr char kCompleteOption[] = "--complete";

// Deletes the command through basic_app, as the plug-in boundary requires.
struct CommandDeleter {
  void operator()(basic_app* command) const { delete command; }
};
using CommandPtr = std::unique_ptr<basic_app, CommandDeleter>;

int ExitStatusFor(uint32_t code) {
  if (code == 0) return kExitSuccess;
  return code <= kLargestExitCode ? static_cast<int>(code) : kExitLargeCode;
}

// Prints a failed result: its message (the catalogue's when the command
// gave none) and its code in full; then where the log holds the details.
void ReportFailure(const CommandResult& result) {
  const std::string message =
      result.message.empty() ? GetErrorMessage(result.code) : result.message;
  std::cerr << "kelvox: ";
  if (!message.empty()) std::cerr << message << " ";
  std::cerr << "(code " << result.code << ")\n";
  const std::string log = ZUdurov::Log::GetLogFilePath();
  if (!log.empty() && ZUdurov::Log::GetMinLogLevel() > 0) {
    std::cerr << "kelvox: details are in the log " << log << "\n";
  }
}

// Shows what the run noted for the console (the cause of a failure a
// command's fixed lines do not name, a part of its input left out), each
// on its own line on standard error.
void ShowNotes() {
  for (const std::string& note : ZUdurov::Log::TakeNotes()) std::cerr << "kelvox: " << note << "\n";
}

// `status` once standard output is flushed: what was written to it must
// have reached it (not a closed descriptor, not a full device), else the
// run fails, whatever it was, with the cause on standard error. Raw writes
// of a command's data report their own failure; this covers the console
// lines, the prompts and the host's own text, for every command.
int FinishStandardOutput(int status) {
  std::string reason;
  if (platform::FlushStandardOutput(reason)) return status;
  std::cerr << "kelvox: the output cannot be written: " << reason << ".\n";
  return status == kExitSuccess ? ExitStatusFor(ERR_WRITE_FILE) : status;
}

// Makes the command and drives it: SetParameters, then Run and Finish when
// it succeeded; `result` is the command's. The object is gone on return. An
// exception leaving the command (a file-system query that failed, memory
// exhausted) must not abort the host: it is reported with its text, which
// carries paths and fixed words but never a value read, and false is returned.
bool DriveCommand(CreateInstanceFn create, const CommandLine& line, CommandResult& result) {
  try {
    CommandPtr command(create());
    result = command->SetParameters(line.context);
    if (result.code == 0) {
      result = command->Run();
      // Finish reports nothing the run has not; its result is informational.
      (void)command->Finish();
    }
    return true;
  } catch (const std::exception& error) {
    std::cerr << "kelvox: " << line.command << " failed: " << error.what() << "\n";
  } catch (...) {
    std::cerr << "kelvox: " << line.command << " failed: unknown exception\n";
  }
  return false;
}

int RunCommand(const CommandLine& line) {
  const std::string path = FindPluginPath(FindCommand(line.command)->plugin);
  if (path.empty()) {
    const std::vector<std::string> paths = GetPluginPaths(FindCommand(line.command)->plugin);
    std::cerr << "kelvox: cannot load plug-in for '" << line.command << "': neither '"
              << paths.front() << "' nor '" << paths.back() << "' exists\n";
    return kExitPluginLoad;
  }
  platform::SharedLibrary library;
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

  // The object is gone before `library` unloads its code.
  CommandResult result;
  const bool driven = DriveCommand(create, line, result);
  ShowNotes();
  if (!driven) return kExitCommandThrew;
  const CommandSpec& command = *FindCommand(line.command);
  // A command whose usage faults the host reports gives "Invalid parameter."
  // only for a usage fault, after printing it: the usage follows, no log.
  if (command.faults == FaultReporter::kHost && result.code == ERR_INVALID_PARAMETER) {
    std::cerr << "usage: kelvox " << command.name << " " << command.usage << "\n";
    return kExitUsage;
  }
  if (result.code != 0) ReportFailure(result);
  return ExitStatusFor(result.code);
}

// Does what the command line asks; returns the exit status.
int RunCommandLine(const CommandLine& line) {
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
      if (const CommandSpec* command = FindCommand(line.command)) {
        std::cerr << "kelvox " << command->name << ": " << line.error << "; usage: kelvox "
                  << command->name << " " << command->usage << "\n";
      } else {
        std::cerr << "kelvox: " << line.error << "\n";
        std::cerr << GetUsageText();
      }
      return kExitUsage;
    case CommandLine::Action::kRun:
      break;
  }
  return RunCommand(line);
}

}  // namespace

int ProgramMain(const std::vector<std::string>& args) {
  // First of all, for every command: nothing has opened a file yet, and no
  // plug-in is loaded.
  platform::DisableCoreDumps();
  if (!platform::OpenClosedStandardStreams()) return kExitNoStandardStreams;
  platform::KeepFreedHeapForReuse();
  // The shell's completion asks; not a command line to run.
  if (!args.empty() && args.front() == kCompleteOption) {
    for (const std::string& candidate : CompleteWords({args.begin() + 1, args.end()})) {
      std::cout << candidate << "\n";
    }
    return FinishStandardOutput(kExitSuccess);
  }
  return FinishStandardOutput(RunCommandLine(ParseCommandLine(args)));
}
