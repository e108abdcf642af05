#include "Src/Misc/Edit/Editor.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace {

// The editor command is shell text, so "$EDITOR" may carry arguments
// ("code --wait"); the file goes in as "$1", never spliced into the text.
constexpr char kDefaultEditor[] =
    "if command -v sensible-editor >/dev/null 2>&1; then exec sensible-editor \"$1\"; "
    "else exec vi \"$1\"; fi";

std::string EditorCommand() {
  for (const char* name : {"VISUAL", "EDITOR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return std::string(value) + " \"$1\"";
  }
  return kDefaultEditor;
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
