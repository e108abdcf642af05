#include "Src/Misc/Encrypt/Secrets.h"

#if defined(__linux__)
#include <sys/prctl.h>
#endif
#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include <boost/filesystem.hpp>

#include "suite/utf8/Utf8Path.h"

bool EntryExists(const std::string& path) {
  boost::system::error_code error;
  return boost::filesystem::exists(utf8::MakePath(path), error) && !error;
}

void DisableCoreDumps() {
#if defined(__linux__)
  // Also covers a core size limit that is raised again later in the process.
  static_cast<void>(::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0));
#endif
#if !defined(_WIN32)
  // The soft limit is enough to stop a dump; the hard one stays as it was.
  rlimit limit{};
  if (::getrlimit(RLIMIT_CORE, &limit) == 0) {
    limit.rlim_cur = 0;
    static_cast<void>(::setrlimit(RLIMIT_CORE, &limit));
  }
#endif
}
