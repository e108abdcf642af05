#include "tests/e2e/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void ExecChild(const std::vector<std::string>& argv, const Environment& environment) {
  for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

void Decode(int raw, Finished& finished) {
  finished.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  finished.signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
}

// Writes what it can; a child that already left shows up when it is waited for.
void Send(int fd, const std::string& bytes) {
  if (write(fd, bytes.data(), bytes.size()) < 0) return;
}

// Drains `fd` into `sink`; false at end of file.
bool Drain(int fd, std::string& sink) {
  char buffer[4096];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n <= 0) return false;
  sink.append(buffer, static_cast<size_t>(n));
  return true;
}

// True once `pid` has exited; it stays a zombie, for Wait to collect its status.
bool HasExited(pid_t pid) {
  siginfo_t info{};
  return pid <= 0 ||
         (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == pid);
}

// Once the child `pid` has exited, reads what is still on the terminal
// `master`; true when that was everything: the read failed, so no process
// holds the slave side any more and nothing more can come. False while the
// child runs or something it started still holds the terminal.
bool ReadToTheEnd(int master, pid_t pid, std::string& screen) {
  if (!HasExited(pid)) return false;
  pollfd fd{master, POLLIN, 0};
  while (poll(&fd, 1, 0) > 0) {
    if (!Drain(master, screen)) return true;
  }
  return false;
}

}  // namespace

const std::string kPosixOnly;

bool RunsAsRoot() { return geteuid() == 0; }

PtySession::PtySession(const std::vector<std::string>& argv, const Environment& environment) {
  pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) ExecChild(argv, environment);
}

PtySession::~PtySession() {
  if (pid > 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  if (master >= 0) close(master);
}

void PtySession::ReadAvailable(int timeout_ms) {
  pollfd fd{master, POLLIN, 0};
  if (poll(&fd, 1, timeout_ms) <= 0 || Drain(master, screen)) return;
  // The read fails (EIO) while no process holds the slave side, and poll
  // then reports that hang-up at once on every call: unless the child has
  // exited (the caller then stops), the slice is slept rather than spun,
  // which would take a core from the programs under test.
  if (!HasExited(pid)) poll(nullptr, 0, timeout_ms);
}

bool PtySession::WaitFor(const std::string& text, int seconds) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  // Text that is not there when the child has exited and its terminal is
  // read to the end will never come: no need to wait for the deadline.
  for (bool ended = false;;) {
    std::string clean = screen;
    std::erase(clean, '\r');
    const size_t found = clean.find(text, consumed);
    if (found != std::string::npos) {
      consumed = found + text.size();
      return true;
    }
    if (ended || Clock::now() > deadline) return false;
    ended = ReadToTheEnd(master, pid, screen);
    if (!ended) ReadAvailable(100);
  }
}

void PtySession::Type(const std::string& keys) { Send(master, keys); }

void PtySession::Signal(int signal_number) {
  if (pid > 0) kill(pid, signal_number);
}

bool PtySession::EchoesAndEditsLines() const {
  termios settings{};
  if (tcgetattr(master, &settings) != 0) return false;
  return (settings.c_lflag & (ECHO | ICANON | ISIG)) == (ECHO | ICANON | ISIG);
}

Finished PtySession::Wait(int seconds) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  int raw = 0;
  do {
    ReadAvailable(50);
  } while (waitpid(pid, &raw, WNOHANG) != pid && Clock::now() <= deadline);
  if (Clock::now() > deadline && kill(pid, SIGKILL) == 0) waitpid(pid, &raw, 0);
  pid = -1;
  // What the child wrote just before leaving.
  pollfd fd{master, POLLIN, 0};
  while (poll(&fd, 1, 50) > 0 && Drain(master, screen)) {
  }
  Finished finished;
  Decode(raw, finished);
  std::erase(finished.output = screen, '\r');
  return finished;
}

Finished RunWithPipes(const std::vector<std::string>& argv, const Environment& environment,
                      const std::string& input, Output output) {
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (output == Output::kClosed) close(STDOUT_FILENO);
    if (output == Output::kFull) dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO);
    setsid();  // no controlling terminal, as under CI
    ExecChild(argv, environment);
  }
  for (int fd : {in[0], out[1], err[1]}) close(fd);
  Send(in[1], input);
  close(in[1]);
  Finished finished;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open_fds = 2;
  while (open_fds > 0) {
    if (poll(fds, 2, 60000) <= 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
      if (Drain(fds[i].fd, i == 0 ? finished.output : finished.error)) continue;
      close(fds[i].fd);
      fds[i].fd = -1;
      --open_fds;
    }
  }
  for (const pollfd& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  int raw = 0;
  waitpid(pid, &raw, 0);
  Decode(raw, finished);
  return finished;
}

}  // namespace e2e
