// ProgramEntry.h on Windows: wmain, linked with -municode, takes the
// arguments in UTF-16.
#include "suite/platform/ProgramEntry.h"
#include "suite/platform/Utf8PathWindows.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int index = 1; index < argc; ++index) args.push_back(platform::NarrowToUtf8(argv[index]));
  return ProgramMain(args);
}
