// The process as the system sees it: where its executable is, whether
// another process has ended, and the process-wide settings the host and the
// commands change: crash dumps, the standard descriptors, the environment,
// the mode of standard output, and the file-size signal. The heap's
// settings are in Heap.h.
// ProcessPosix.cpp and ProcessWindows.cpp hold the two sides.
#ifndef SUITE_PLATFORM_PROCESS_H_
#define SUITE_PLATFORM_PROCESS_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// The running executable's full path in UTF-8, from the operating system;
// empty when it cannot say.
std::string GetExecutablePath();

// True when the process with the id `process`, which left something behind
// under its id, has ended: no process has the id (on POSIX systems one of
// another user still counts, as the system only refuses to signal it), or
// the one that has it has exited. Never for this process itself.
[[nodiscard]] bool ProcessIsGone(std::uint32_t process);

// Keeps a crash of this process from writing its memory (passphrases, keys,
// decrypted values) to disk for the rest of the process: a core size limit
// of 0, hard limit too, so a plug-in cannot raise it; on Linux also not
// dumpable, which stops a core piped to a handler and keeps /proc/<pid>/mem
// from other processes of the user; on Windows no error report or crash
// dump. Lowers limits only, so it cannot fail for lack of privilege.
void DisableCoreDumps();

// Opens the null device onto each of the standard descriptors 0, 1 and 2
// that is closed, so that no file opened later takes one of those numbers
// and receives what is written to the console (a log opened as descriptor 1
// would receive decrypted values). The null device is opened for reading
// only: a read finds the end, and a write fails as on the closed
// descriptor, so output written to nowhere is still a failure
// (StandardStreams.h names it). Returns false when one stays closed.
[[nodiscard]] bool OpenClosedStandardStreams();

// Removes the environment variable `name` (on Windows: sets it empty, which
// removes it there).
void UnsetEnvironment(const char* name);

// Sets the environment variable `name` to `value` unless it is set already
// (an administrator's own value is kept).
void SetEnvironmentUnlessSet(const char* name, const char* value);

// Makes standard output write bytes as they are: on Windows no LF becomes
// CR LF; elsewhere nothing to do. Flushes what is pending first.
void SetStandardOutputBinary();

// Makes a write past the process's file-size limit fail with an error
// instead of killing the process, so the caller can report it and clean up.
// Windows has no such signal: a write past a quota fails by itself.
void IgnoreFileSizeSignal();

}  // namespace platform

#endif  // SUITE_PLATFORM_PROCESS_H_
