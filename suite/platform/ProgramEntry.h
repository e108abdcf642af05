// The program's entry point as the system calls it: main on POSIX systems;
// on Windows wmain, whose arguments arrive in UTF-16 whatever the code page.
// ProgramEntryPosix.cpp and ProgramEntryWindows.cpp define it; it hands the
// arguments to the program's own ProgramMain in UTF-8, the form every path
// takes inside the suite. Only a program links it (kelvox_entry).
#ifndef SUITE_PLATFORM_PROGRAMENTRY_H_
#define SUITE_PLATFORM_PROGRAMENTRY_H_

#include <string>
#include <vector>

// Defined by the program: runs it with `args`, the command-line arguments
// after the program's own name, and returns its exit status.
int ProgramMain(const std::vector<std::string>& args);

#endif  // SUITE_PLATFORM_PROGRAMENTRY_H_
