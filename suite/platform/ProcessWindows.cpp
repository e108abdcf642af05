// Process.h on Windows.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "suite/platform/DescriptorWindows.h"
#include "suite/platform/Process.h"
#include "suite/platform/Utf8PathWindows.h"

namespace platform {
namespace {

// The status of a run ended by a crash: the exception code, as the system
// itself reports an unhandled exception.
LONG WINAPI EndWithoutReport(EXCEPTION_POINTERS* exception) {
  ::TerminateProcess(::GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

std::string GetExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return NarrowToUtf8(std::wstring(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}

// A process this one may not open is running.
bool ProcessIsGone(std::uint32_t process) {
  if (process == ::GetCurrentProcessId()) return false;
  const UniqueHandle opened(::OpenProcess(SYNCHRONIZE, FALSE, process));
  if (!opened.valid()) return ::GetLastError() == ERROR_INVALID_PARAMETER;
  return ::WaitForSingleObject(opened.get(), 0) == WAIT_OBJECT_0;
}

// Windows Error Reporting, which writes the crash dump (and a local dump
// where an administrator asked for them), runs from the default handler of
// an unhandled exception. The process ends before it: the top-level
// handler terminates at once, and no fault dialog is shown meanwhile.
// (abort(), which std::terminate calls, exits with status 3 in msvcrt,
// the C runtime MinGW links, and reports nothing.) A fail-fast exit
// bypasses every handler; nothing this program builds raises one.
void DisableCoreDumps() {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::SetUnhandledExceptionFilter(EndWithoutReport);
}

// The C runtime reserves descriptors 0 to 2 for the standard streams even
// when the process has no console, and Windows never hands out a standard
// handle for a file opened later: nothing to do.
bool OpenClosedStandardStreams() { return true; }

void UnsetEnvironment(const char* name) { _putenv_s(name, ""); }

void SetEnvironmentUnlessSet(const char* name, const char* value) {
  if (std::getenv(name) == nullptr) _putenv_s(name, value);
}

void SetStandardOutputBinary() {
  std::cout.flush();
  static_cast<void>(_setmode(_fileno(stdout), _O_BINARY));
}

void IgnoreFileSizeSignal() {}

}  // namespace platform
