// Starting another program in this process's place, with secrets handed to
// it in its environment or in files that never touch a disk: the program
// gets this process's pid (on POSIX systems), so its signals, exit status
// and supervision are its own. Built up by one thread, then used once.
// ExecPosix.cpp and ExecWindows.cpp hold the two sides.
#ifndef SUITE_PLATFORM_EXEC_H_
#define SUITE_PLATFORM_EXEC_H_

#include <list>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Null where AddFile can hand a value over; else why it cannot, in words
// for the console.
[[nodiscard]] const char* WhyNoSecretFiles();

class ProgramStart {
 public:
  ProgramStart() = default;
  ProgramStart(const ProgramStart&) = delete;
  ProgramStart& operator=(const ProgramStart&) = delete;
  // Wipes every setting made and closes every file: a start that failed
  // leaves no copy behind.
  ~ProgramStart();

  // The program's variable `name` holds `value` (whatever this process's
  // environment says). False, with `reason`, for a value that no variable
  // can hold (a NUL byte).
  [[nodiscard]] bool AddEnvironment(const std::string& name, std::string_view value,
                                    std::string& reason);

  // The program's variable `name` holds the path of a file holding `value`:
  // on Linux a sealed memory file, which no one can change, that the
  // program inherits as an open descriptor and reaches as
  // "/proc/self/fd/N"; gone with the program. False, with `reason`, where
  // WhyNoSecretFiles says, or when the system refuses.
  [[nodiscard]] bool AddFile(const std::string& name, std::string_view value,
                             std::string& reason);

  // Runs `command` (a program, found through PATH, and its arguments,
  // passed as they are) with this process's environment and the settings
  // made. On POSIX systems the program replaces this process; on Windows it
  // is started, waited for, and this process exits with its exit status.
  // Returns only when the program could not be started, with why.
  // REQUIRES: `command` is not empty.
  [[nodiscard]] std::string Replace(const std::vector<std::string>& command);

 private:
  // "NAME=value", each in a node of its own that never moves.
  std::list<std::string> settings;
  std::vector<int> files;  // POSIX: the descriptors of AddFile
};

}  // namespace platform

#endif  // SUITE_PLATFORM_EXEC_H_
