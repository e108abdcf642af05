// What the host does to its own process first, before it opens a file or
// loads a plug-in, so that no command can leak a secret through the process
// itself. ProcessHardeningPosix.cpp and ProcessHardeningWindows.cpp hold
// the two systems' sides.
#ifndef SUITE_KELVOX_PROCESSHARDENING_H_
#define SUITE_KELVOX_PROCESSHARDENING_H_

// Keeps a crash of this process from writing its memory (passphrases, keys,
// decrypted values) to disk: no core dump on POSIX systems, neither a core
// nor access to the process's memory through /proc for other processes of
// the same user on Linux; no error report or crash dump on Windows. Lowers
// limits only, so it cannot fail for lack of privilege.
void DisableCrashDumps();

// Opens the null device onto each of the standard descriptors 0, 1 and 2
// that is closed, so that no file opened later takes one of those numbers
// and receives what is written to the console (a log opened as descriptor 1
// would receive decrypted values). Returns false when one stays closed.
[[nodiscard]] bool OpenClosedStandardStreams();

#endif  // SUITE_KELVOX_PROCESSHARDENING_H_
