#include "tests/store/SoftwareTpm.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <tss2/tss2_tctildr.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>
#include <tuple>
#include <utility>

namespace testing_support {
namespace {

constexpr int kExecFailed = 127;

// Whether loopback `port` can be bound, or with `to_listener` connected to.
bool TryPort(int port, bool to_listener) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address{.sin_family = AF_INET,
                            .sin_port = htons(static_cast<std::uint16_t>(port)),
                            .sin_addr = {htonl(INADDR_LOOPBACK)},
                            .sin_zero = {}};
  const auto* generic = reinterpret_cast<const sockaddr*>(&address);
  const bool done = fd >= 0 && (to_listener ? ::connect(fd, generic, sizeof(address))
                                            : ::bind(fd, generic, sizeof(address))) == 0;
  if (fd >= 0) ::close(fd);
  return done;
}

}  // namespace

SoftwareTpm::~SoftwareTpm() { Stop(); }

void SoftwareTpm::StartOnce() const {
  if (tried) return;
  tried = true;
  std::mt19937 random(std::random_device{}());
  // Stops at the first start that fails for another reason than the ports.
  for (int attempt = 0; attempt < 5 && pid < 0 && !failed; ++attempt) {
    const int candidate = std::uniform_int_distribution<int>(20000, 60000)(random);
    if (TryPort(candidate, false) && TryPort(candidate + 1, false)) Start(candidate);
  }
}

bool SoftwareTpm::running() const {
  StartOnce();
  return pid > 0;
}

std::string SoftwareTpm::Tcti() const {
  StartOnce();
  return "swtpm:host=127.0.0.1,port=" + std::to_string(port);
}

int SoftwareTpm::Port() const {
  StartOnce();
  return port;
}

void SoftwareTpm::Stop() {
  tried = true;  // a TPM stopped before its first use stays stopped
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  pid = -1;
}

bool SoftwareTpm::ExtendPcr(ESYS_TR pcr) const {
  TSS2_TCTI_CONTEXT* tcti = nullptr;
  ESYS_CONTEXT* esys = nullptr;
  bool extended = Tss2_TctiLdr_Initialize(Tcti().c_str(), &tcti) == TSS2_RC_SUCCESS &&
                  Esys_Initialize(&esys, tcti, nullptr) == TSS2_RC_SUCCESS;
  TPML_DIGEST_VALUES digests = {};
  digests.count = 1;
  digests.digests[0].hashAlg = TPM2_ALG_SHA256;
  digests.digests[0].digest.sha256[0] = 1;
  extended = extended && Esys_PCR_Extend(esys, pcr, ESYS_TR_PASSWORD, ESYS_TR_NONE,
                                         ESYS_TR_NONE, &digests) == TSS2_RC_SUCCESS;
  if (esys != nullptr) Esys_Finalize(&esys);
  if (tcti != nullptr) Tss2_TctiLdr_Finalize(&tcti);
  return extended;
}

void SoftwareTpm::Start(int candidate) const {
  const auto at = [](int p) { return "type=tcp,bindaddr=127.0.0.1,port=" + std::to_string(p); };
  const std::string server = at(candidate), control = at(candidate + 1);
  const std::string state = "dir=" + state_dir.path().string();
  const pid_t child = ::fork();
  if (child == 0) {
    // A test that dies leaves no TPM running behind it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::execlp("swtpm", "swtpm", "socket", "--tpm2", "--server", server.c_str(),
            "--ctrl", control.c_str(), "--tpmstate", state.c_str(), "--flags",
            "not-need-init,startup-clear", static_cast<char*>(nullptr));
    ::_exit(kExecFailed);
  }
  for (int wait = 0; child > 0 && wait < 500; ++wait) {  // up to 10 s
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) {  // it could not start
      failed = WIFEXITED(status) && WEXITSTATUS(status) == kExecFailed;
      return;
    }
    if (TryPort(candidate, true)) {
      std::tie(pid, port) = std::pair(child, candidate);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (child > 0 && ::kill(child, SIGKILL) == 0) ::waitpid(child, nullptr, 0);
}

}  // namespace testing_support
