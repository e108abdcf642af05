// The suite's global configuration: KEY=VALUE lines read once per process from
// the file named by KELVOX_GLOBAL_CONFIG, else global.config in the program
// directory, else the system's place: PREFIX/etc/kelvox/global.config for a
// program in PREFIX/bin, then /etc/kelvox/global.config; on Windows
// %ProgramData%\kelvox\global.config. Lines starting with '#' or ';' are
// comments; blanks around keys and values are trimmed; keys are
// case-sensitive. The file is read only when its path passes the trust rule
// (owned by root or the running user, as is every folder above it, none of
// them writable by others): it names the stores, the host key and the log.
// A key the suite does not know is warned of once, with the nearest known
// one. Also says where logs go when the file names no place.
#ifndef HOST_GLOBALCONFIG_H_
#define HOST_GLOBALCONFIG_H_

#include <string>

#include "host/Export.h"

namespace ZUdurov {

class GLOBALCONFIG_API GlobalConfig {
 public:
  // Results of GetConfigItem. Enumerators, not static constants: they need
  // no storage, so nothing has to cross the library's export table.
  enum Result : int {
    kOk = 0,
    kNoFile = 1,      // no configuration file found
    kUnreadable = 2,  // the file exists but cannot be read, or is not trusted
    kMalformed = 3,   // the file is not KEY=VALUE lines
    kKeyAbsent = 4,   // the file has no such key
    kValueEmpty = 5,  // the key is there with an empty value
    kNamedFileMissing = 6,  // KELVOX_GLOBAL_CONFIG names a file that does not exist
  };

  // Stores the value of `key` in `value` and returns kOk when the key has a
  // non-empty value; otherwise returns one of the codes above and leaves
  // `value` empty. Never returns kOk with an empty value. A broken file is
  // reported once on standard error, naming the file and line.
  static int GetConfigItem(const std::string& key, std::string& value);

  // The configuration file read (or looked for), as found; empty when there
  // is none.
  static std::string GetLoadedFile();

  // Forgets what was read, so the next lookup reads the file again.
  static void Reload();

  // The log file when the configuration names none: for root
  // /var/log/kelvox/kelvox.log where that folder exists (the package makes
  // it), else GetUserLogFile(); on Windows
  // %ProgramData%\kelvox\logs\kelvox.log.
  static std::string GetDefaultLogFile();

  // The current user's own log file, for when the default cannot be opened:
  // $XDG_STATE_HOME/kelvox/kelvox.log (an absolute $XDG_STATE_HOME), else
  // ~/.local/state/kelvox/kelvox.log; on Windows
  // %LOCALAPPDATA%\kelvox\kelvox.log. Empty when there is none.
  static std::string GetUserLogFile();
};

}  // namespace ZUdurov

#endif  // HOST_GLOBALCONFIG_H_
