// The suite logger. A Log is one record: opened with its level and the file
// and line of the statement that makes it, filled through Stream(), and
// written once when it is destroyed, if its level is within the minimum
// level. Level 1 is errors, 3 user-facing lines, 4 trace. Safe to use from
// several threads; each record belongs to the thread that made it.
#ifndef HOST_LOG_H_
#define HOST_LOG_H_

#include <sstream>
#include <string>

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

  Log(unsigned level, const char* file, int line);
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;
  virtual ~Log();

  std::ostringstream& Stream();

 private:
  unsigned level;
  const char* file;
  int line;
  std::ostringstream text;
};

}  // namespace ZUdurov

// Builds a record only when the logger would keep it: the arguments after
// << are not even evaluated otherwise.
#define KLOG(level)                                          \
  if (ZUdurov::Log::GetMinLogLevel() < (unsigned)(level)) {  \
  } else                                                     \
    ZUdurov::Log((level), __FILE__, __LINE__).Stream()

#endif  // HOST_LOG_H_
