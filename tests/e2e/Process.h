// Runs the built kelvox program as a user would: either through a fresh
// pseudo-terminal, where the test types at the prompts and reads the screen,
// or with plain pipes and no terminal, as automation runs it. One POSIX and
// one Windows source.
#ifndef TESTS_E2E_PROCESS_H_
#define TESTS_E2E_PROCESS_H_

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace e2e {

using Environment = std::map<std::string, std::string>;

// Exit status of a finished child, or -1 when it did not exit normally.
struct Finished {
  int status = -1;
  int signal = 0;      // the signal that ended it, 0 when it exited
  std::string output;  // the terminal's text ('\r' removed), or stdout
  std::string error;   // stderr (pipe runs only)
};

// A child running on the slave side of a new pseudo-terminal.
class PtySession {
 public:
  PtySession(const std::vector<std::string>& argv, const Environment& environment);
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;
  ~PtySession();

  // Reads the screen until `text` has appeared after what earlier waits
  // consumed; false after `seconds` without it.
  bool WaitFor(const std::string& text, int seconds = 20);
  // Sends raw keystrokes.
  void Type(const std::string& keys);
  // Sends `signal_number` to the child, from outside as `kill` would.
  void Signal(int signal_number);
  // True when the terminal echoes and edits lines, as a shell expects to
  // find it; still answers after the child has gone.
  bool EchoesAndEditsLines() const;
  // Waits for the child to exit and returns everything it showed.
  Finished Wait(int seconds = 60);
  pid_t Pid() const { return pid; }

 private:
  void ReadAvailable(int timeout_ms);

  pid_t pid = -1;
  int master = -1;
  std::string screen;
  size_t consumed = 0;
};

// Empty on POSIX; on Windows, why checks that need a pseudo-terminal, /proc,
// POSIX signals, modes or user ids are skipped (PtySession is not available there).
extern const std::string kPosixOnly;

bool RunsAsRoot();

// Where a pipe run's standard output goes: a pipe the test reads, or
// nowhere (closed, or the full device /dev/full; POSIX only).
enum class Output { kPipe, kClosed, kFull };

// Runs to completion with stdin from /dev/null (or `input`) and no terminal.
Finished RunWithPipes(const std::vector<std::string>& argv, const Environment& environment,
                      const std::string& input = "", Output output = Output::kPipe);

}  // namespace e2e

#endif  // TESTS_E2E_PROCESS_H_
