// ProgramEntry.h on POSIX systems: the arguments are bytes, UTF-8 as they
// come.
#include "suite/platform/ProgramEntry.h"

int main(int argc, char** argv) {
  return ProgramMain(std::vector<std::string>(argv + 1, argv + argc));
}
