// ProcessHardening.h on Windows.
#if defined(_WIN32)
#include <windows.h>

#include "suite/kelvox/ProcessHardening.h"

namespace {

// The status of a run ended by a crash: the exception code, as the system
// itself reports an unhandled exception.
LONG WINAPI EndWithoutReport(EXCEPTION_POINTERS* exception) {
  ::TerminateProcess(::GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

// Windows Error Reporting, which writes the crash dump (and a local dump
// where an administrator asked for them), runs from the default handler of
// an unhandled exception. The process ends before it: the top-level
// handler terminates at once, and no fault dialog is shown meanwhile.
// (abort(), which std::terminate calls, exits with status 3 in msvcrt,
// the C runtime MinGW links, and reports nothing.) A fail-fast exit bypasses every handler;
// nothing this program builds raises one.
void DisableCrashDumps() {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::SetUnhandledExceptionFilter(EndWithoutReport);
}

// The C runtime reserves descriptors 0 to 2 for the standard streams even
// when the process has no console, and Windows never hands out a standard
// handle for a file opened later: nothing to do.
bool OpenClosedStandardStreams() { return true; }

#endif  // defined(_WIN32)
