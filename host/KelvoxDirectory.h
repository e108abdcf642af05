// The directory service: paths under the suite's program directory, the
// folder of the running executable.
#ifndef HOST_KELVOXDIRECTORY_H_
#define HOST_KELVOXDIRECTORY_H_

#include <string>

#if defined(_WIN32)
#  if defined(KELVOXDIRECTORY_BUILD)
#    define KELVOXDIRECTORY_API __declspec(dllexport)
#  else
#    define KELVOXDIRECTORY_API __declspec(dllimport)
#  endif
#elif defined(KELVOXDIRECTORY_BUILD)
#  define KELVOXDIRECTORY_API __attribute__((visibility("default")))
#else
#  define KELVOXDIRECTORY_API
#endif

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
