// Process.h on Windows: pipe runs only, as no pseudo-terminal exists. The
// child's standard streams are files in the temporary folder, so its two
// outputs need no reader threads.
#include <windows.h>

#include <boost/filesystem.hpp>
#include <fstream>
#include <iterator>

#include "tests/e2e/Process.h"

namespace e2e {
namespace {

std::wstring Wide(const std::string& text) {
  std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), int(wide.size()));
  return wide;
}

// One argument quoted as the C runtime splits a command line: backslashes
// are literal except before a quote.
std::string Quote(const std::string& arg) {
  std::string quoted = "\"";
  size_t slashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * slashes + 1 : slashes, '\\').push_back(c);
    slashes = 0;
  }
  return quoted.append(2 * slashes, '\\') + "\"";
}

// A temporary file the child inherits, removed with this object.
struct StreamFile {
  explicit StreamFile(const std::string& content = "")
      : path(boost::filesystem::temp_directory_path() / boost::filesystem::unique_path()) {
    std::ofstream(path.string(), std::ios::binary) << content;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    handle = CreateFileW(path.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  }
  ~StreamFile() {
    CloseHandle(handle);
    boost::system::error_code ignored;
    boost::filesystem::remove(path, ignored);
  }
  std::string Read() const {
    std::ifstream in(path.string(), std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), {}};
    std::erase(text, '\r');  // the C runtime's text mode
    return text;
  }
  boost::filesystem::path path;
  HANDLE handle;
};

}  // namespace

const std::string kPosixOnly = "Windows has no pseudo-terminal, /proc, POSIX signals, modes or user ids";

bool RunsAsRoot() { return false; }

// Never started: every test that makes one skips on kPosixOnly first.
PtySession::PtySession(const std::vector<std::string>&, const Environment&) {}
PtySession::~PtySession() = default;
bool PtySession::WaitFor(const std::string&, int) { return false; }
void PtySession::Type(const std::string&) {}
void PtySession::Signal(int) {}
bool PtySession::EchoesAndEditsLines() const { return false; }
Finished PtySession::Wait(int) { return {}; }

Finished RunWithPipes(const std::vector<std::string>& argv, const Environment& environment,
                      const std::string& input, Output) {
  std::string line;
  for (const std::string& arg : argv) line += (line.empty() ? "" : " ") + Quote(arg);
  std::wstring command = Wide(line);
  // The child inherits this process's environment, set for it and restored.
  std::vector<std::pair<std::wstring, std::wstring>> saved;
  for (const auto& [name, value] : environment) {
    wchar_t old[32768];
    const DWORD size = GetEnvironmentVariableW(Wide(name).c_str(), old, 32768);
    saved.emplace_back(Wide(name), size > 0 ? std::wstring(old, size) : L"\1");
    SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
  }
  StreamFile in(input), out, err;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in.handle;
  startup.hStdOutput = out.handle;
  startup.hStdError = err.handle;
  PROCESS_INFORMATION process{};
  Finished finished;
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                     nullptr, &startup, &process)) {
    if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, INFINITE);
    }
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    finished.status = int(status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  for (const auto& [name, value] : saved) {
    SetEnvironmentVariableW(name.c_str(), value == L"\1" ? nullptr : value.c_str());
  }
  finished.output = out.Read();
  finished.error = err.Read();
  return finished;
}

}  // namespace e2e
