// The directory service: paths under the suite's program directory, the
// folder of the running executable.
#ifndef HOST_KELVOXDIRECTORY_H_
#define HOST_KELVOXDIRECTORY_H_

#include <string>

#include "host/Export.h"

class KELVOXDIRECTORY_API KelvoxDirectory {
 public:
  // `name` resolved against the program directory: a relative name is joined
  // to it with one separator and kept as written; an absolute name is
  // returned unchanged.
  static std::string GetExePath(const std::string& name);

  // The directory of the running executable, without a trailing separator.
  static std::string GetExeDirectory();
};

#endif  // HOST_KELVOXDIRECTORY_H_
