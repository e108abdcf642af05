// The suite logger. A Log is one record: opened with its level and the file
// and line of the statement that makes it, filled through Stream(), and
// written once when it is destroyed, if its level is within the minimum
// level. Level 1 is errors, 3 user-facing lines, 4 trace. Safe to use from
// several threads; each record belongs to the thread that made it.
#ifndef HOST_LOG_H_
#define HOST_LOG_H_

#include <sstream>
#include <string>
#include <vector>

#include "host/Export.h"

namespace ZUdurov {

class LOGGER_API Log {
 public:
  // The configured verbosity: LOG_LEVEL of the global configuration
  // (default 3), unless SetMinLogLevel overrode it.
  static unsigned GetMinLogLevel();
  // Overrides the configured verbosity for this process.
  static void SetMinLogLevel(unsigned level);
  // Sends later records to `path` (created with its folders if need be);
  // an empty path turns the log off. Without this call the log goes to
  // LOG_FILE of the configuration, by default GlobalConfig's default log
  // file, falling back to the user's own log file, then to no log. Logging
  // never fails the caller.
  static void SetLogFile(const std::string& path);
  // The file records go to (opening it as the first record would); empty
  // when the log is off.
  static std::string GetLogFilePath();
  // Writes buffered records out.
  static void Flush();
  // Notes are records a command makes for the host program to show on the
  // console after the run, where the command's own lines say nothing of
  // it (encrypt's are fixed): the cause of a failure, or a part of the
  // input that was left out. A note goes to the log as any record does and
  // is also kept in memory, whatever the minimum level, until this hands
  // the kept ones over, in the order they were made. Like every record, a
  // note never holds a secret.
  static std::vector<std::string> TakeNotes();

  Log(unsigned level, const char* file, int line);
  // A record that is also a note (TakeNotes).
  Log(unsigned level, const char* file, int line, bool note);
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;
  virtual ~Log();

  std::ostringstream& Stream();

 private:
  unsigned level;
  const char* file;
  int line;
  bool note = false;
  std::ostringstream text;
};

}  // namespace ZUdurov

// Builds a record only when the logger would keep it: the arguments after
// << are not even evaluated otherwise.
#define KLOG(level)                                          \
  if (ZUdurov::Log::GetMinLogLevel() < (unsigned)(level)) {  \
  } else                                                     \
    ZUdurov::Log((level), __FILE__, __LINE__).Stream()

// A record that is also a note (Log::TakeNotes): made whatever the minimum
// level, since the host shows it in any case.
#define KLOG_NOTE(level) ZUdurov::Log((level), __FILE__, __LINE__, true).Stream()

#endif  // HOST_LOG_H_
