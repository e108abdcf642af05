// Editor.h on POSIX systems: the editor command run by /bin/sh.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "suite/platform/Editor.h"

extern char** environ;

namespace platform {
namespace {

// With neither variable set: the system's default editor where it names one
// (a link the package manager keeps, resolved below like any other), else vi.
constexpr char kSystemEditor[] = "editor";
constexpr char kLastEditor[] = "vi";
constexpr char kDefaultPath[] = "/usr/bin:/bin";

// Vim and Neovim keep copies of the text they edit: a swap file while
// editing, a backup when writing, an undo file, and yanked text in viminfo
// or shada. -n and -i NONE turn off the swap file and viminfo or shada; the
// options turn all of them off before the user's vimrc and again after it,
// as a vimrc may turn them back on (once the file is loaded: a swap file
// made meanwhile is deleted). Both programs take every one of these
// ('viminfo' names 'shada' in Neovim).
constexpr char kVimNoCopies[] = "'set nobackup nowritebackup noundofile noswapfile viminfo='";

// The characters of a command of plain words: no quoting, expansion,
// redirection or second command, so its first word is the program.
constexpr char kPlainWords[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-./+=:,@ ";

// The file `program` (a command's first word) runs, links resolved: itself
// when it holds a slash, else the first executable file of that name on
// $PATH, as the shell finds it. Empty when there is none.
std::string ResolveProgram(const std::string& program) {
  std::vector<std::string> candidates;
  if (program.find('/') != std::string::npos) {
    candidates.push_back(program);
  } else {
    const char* variable = std::getenv("PATH");
    const std::string folders = variable != nullptr ? variable : kDefaultPath;
    for (std::size_t start = 0; start <= folders.size();) {
      const std::size_t end = std::min(folders.find(':', start), folders.size());
      const std::string folder = folders.substr(start, end - start);
      candidates.push_back((folder.empty() ? "." : folder) + "/" + program);
      start = end + 1;
    }
  }
  for (const std::string& candidate : candidates) {
    struct stat status {};
    if (::stat(candidate.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
        ::access(candidate.c_str(), X_OK) != 0) {
      continue;
    }
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(candidate.c_str(), nullptr), &std::free);
    return resolved != nullptr ? resolved.get() : candidate;
  }
  return {};
}

// True when the program of `command` may be vi, vim or nvim under any name
// (vim.basic, vim.tiny, a vi that is vim or is not); stores that first word
// in `program`. Its --version then tells which it is.
bool MayBeVim(const std::string& command, std::string& program) {
  const std::size_t start = command.find_first_not_of(' ');
  if (command.find_first_not_of(kPlainWords) != std::string::npos || start == std::string::npos) {
    return false;
  }
  program = command.substr(start, command.find(' ', start) - start);
  const std::string resolved = ResolveProgram(program);
  const std::string name = resolved.substr(resolved.find_last_of('/') + 1);
  return name == "vi" || name.rfind("vim", 0) == 0 || name.rfind("nvim", 0) == 0;
}

// The editor command is shell text, so "$EDITOR" may carry arguments
// ("code --wait"); the file goes in as "$1", never spliced into the text.
std::string EditorCommand() {
  std::string command;
  for (const char* name : {"VISUAL", "EDITOR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      command = value;
      break;
    }
  }
  if (command.empty()) {
    command = ResolveProgram(kSystemEditor).empty() ? kLastEditor : kSystemEditor;
  }
  std::string program;
  if (!MayBeVim(command, program)) return command + " \"$1\"";
  return "case \"$(" + program + " --version 2>/dev/null </dev/null)\" in VIM*|NVIM*) " +
         command + " -n -i NONE --cmd " + kVimNoCopies + " -c " + kVimNoCopies +
         " \"$1\";; *) " + command + " \"$1\";; esac";
}

// While it lives, SIGINT and SIGQUIT are ignored here (the editor, in the
// same process group, gets them and decides), as system() does.
class InterruptsIgnored {
 public:
  InterruptsIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGINT, &ignore, &saved_int);
    sigaction(SIGQUIT, &ignore, &saved_quit);
  }
  InterruptsIgnored(const InterruptsIgnored&) = delete;
  InterruptsIgnored& operator=(const InterruptsIgnored&) = delete;
  ~InterruptsIgnored() {
    sigaction(SIGINT, &saved_int, nullptr);
    sigaction(SIGQUIT, &saved_quit, nullptr);
  }
  const struct sigaction& SavedInt() const { return saved_int; }

 private:
  struct sigaction saved_int {};
  struct sigaction saved_quit {};
};

}  // namespace

bool RunEditor(const std::string& path, std::string& reason) {
  const std::string command = EditorCommand();
  const InterruptsIgnored ignored;
  // The child starts with the default actions, whatever this process ignores.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGQUIT);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"),
                  const_cast<char*>(command.c_str()), const_cast<char*>("sh"),
                  const_cast<char*>(path.c_str()), nullptr};
  pid_t child = -1;
  const int spawned = posix_spawn(&child, "/bin/sh", nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) {
    reason = "the shell that runs the editor cannot be started";
    return false;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      reason = "the editor could not be waited for";
      return false;
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  reason = WIFEXITED(status) ? "the editor exited with status " + std::to_string(WEXITSTATUS(status))
                             : "the editor was ended by signal " + std::to_string(WTERMSIG(status));
  return false;
}

}  // namespace platform
