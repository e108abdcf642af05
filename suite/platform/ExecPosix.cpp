// Exec.h on POSIX systems.
#if defined(__linux__)
#include <sys/mman.h>
#endif
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "suite/platform/DescriptorPosix.h"
#include "suite/platform/Exec.h"
#include "suite/secretmemory/SecretMemory.h"

extern char** environ;

namespace platform {
namespace {

constexpr char kOpenFdFolder[] = "/proc/self/fd/";

// True when the "NAME=value" entry `entry` sets a variable of `settings`.
bool IsSetBy(const char* entry, const std::list<std::string>& settings) {
  for (const std::string& setting : settings) {
    const std::size_t name_end = setting.find('=') + 1;
    if (std::strncmp(entry, setting.c_str(), name_end) == 0) return true;
  }
  return false;
}

// What this process changed that a program would inherit through exec:
// blocked signals, and the file-size signal the host ignores.
void RestoreSignals() {
  sigset_t none;
  sigemptyset(&none);
  static_cast<void>(::sigprocmask(SIG_SETMASK, &none, nullptr));
  static_cast<void>(::signal(SIGXFSZ, SIG_DFL));
}

}  // namespace

const char* WhyNoSecretFiles() {
#if defined(__linux__)
  return nullptr;
#else
  return "this system has no sealed memory files";
#endif
}

ProgramStart::~ProgramStart() {
  for (std::string& setting : settings) WipeString(setting);
  for (const int fd : files) ::close(fd);
}

bool ProgramStart::AddFile(const std::string& name, std::string_view value, std::string& reason) {
#if defined(__linux__)
  // Close-on-exec until Replace: a program started some other way (an
  // editor, a helper) must not inherit it.
  UniqueFd fd(::memfd_create(("kelvox-" + name).c_str(), MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (fd.get() < 0) {
    reason = std::string("no memory file can be made: ") + std::strerror(errno);
    return false;
  }
  // Sealed, so the program reads exactly what was stored and nothing
  // it runs can change it; rewound, so the descriptor itself reads it too.
  constexpr int kSeals = F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL;
  if (!WriteFully(fd.get(), value.data(), value.size()) ||
      ::fcntl(fd.get(), F_ADD_SEALS, kSeals) != 0 || ::lseek(fd.get(), 0, SEEK_SET) != 0) {
    reason = std::string("the memory file cannot be written and sealed: ") + std::strerror(errno);
    return false;
  }
  const std::string path = kOpenFdFolder + std::to_string(fd.get());
  files.push_back(fd.release());
  return AddEnvironment(name, path, reason);
#else
  static_cast<void>(name);
  static_cast<void>(value);
  reason = WhyNoSecretFiles();
  return false;
#endif
}

std::string ProgramStart::Replace(const std::vector<std::string>& command) {
  // This process's environment, less what the settings replace, then them.
  std::vector<char*> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!IsSetBy(*entry, settings)) environment.push_back(*entry);
  }
  for (std::string& setting : settings) environment.push_back(setting.data());
  environment.push_back(nullptr);
  std::vector<char*> arguments;
  for (const std::string& argument : command) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);

  for (const int fd : files) static_cast<void>(::fcntl(fd, F_SETFD, 0));
  RestoreSignals();
  // execvp searches PATH and takes the environment from `environ`.
  char** const saved = environ;
  environ = environment.data();
  ::execvp(arguments[0], arguments.data());
  const int error = errno;
  environ = saved;
  for (const int fd : files) static_cast<void>(::fcntl(fd, F_SETFD, FD_CLOEXEC));
  return "'" + command.front() + "' cannot be run: " + std::strerror(error);
}

}  // namespace platform
