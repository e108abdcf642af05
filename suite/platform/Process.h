// The process-wide settings the commands change: core dumps, the
// environment, the mode of standard output, and the file-size signal.
// ProcessPosix.cpp and ProcessWindows.cpp hold the two sides.
#ifndef SUITE_PLATFORM_PROCESS_H_
#define SUITE_PLATFORM_PROCESS_H_

namespace platform {

// Turns core dumps off for the rest of the process: a dump taken while a run
// holds passphrases and plaintext values would carry them to disk. Linux:
// not dumpable and a core size limit of 0; other POSIX systems: the limit
// only; Windows: nothing.
void DisableCoreDumps();

// Removes the environment variable `name` (on Windows: sets it empty, which
// removes it there).
void UnsetEnvironment(const char* name);

// Makes standard output write bytes as they are: on Windows no LF becomes
// CR LF; elsewhere nothing to do. Flushes what is pending first.
void SetStandardOutputBinary();

// Makes a write past the process's file-size limit fail with an error
// instead of killing the process, so the caller can report it and clean up.
// Windows has no such signal: a write past a quota fails by itself.
void IgnoreFileSizeSignal();

}  // namespace platform

#endif  // SUITE_PLATFORM_PROCESS_H_
