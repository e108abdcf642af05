// Process.h on Windows.
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "suite/platform/Process.h"

namespace platform {

void DisableCoreDumps() {}

void UnsetEnvironment(const char* name) { _putenv_s(name, ""); }

void SetStandardOutputBinary() {
  std::cout.flush();
  static_cast<void>(_setmode(_fileno(stdout), _O_BINARY));
}

void IgnoreFileSizeSignal() {}

}  // namespace platform

#endif  // _WIN32
