#include "suite/endecrypt/tpm/TpmStack.h"

#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "suite/platform/SharedLibrary.h"
#include "suite/platform/TcpConnection.h"

namespace endecrypt {
namespace {

// The libraries by their run-time names: the ones the development links
// point to, so the stack loaded is the one the headers describe.
constexpr const char* kTssLibraries[] = {"libtss2-esys.so.0", "libtss2-tctildr.so.0",
                                          "libtss2-rc.so.0", "libtss2-mu.so.0"};
constexpr char kDefaultTpmHost[] = "localhost";
constexpr char kDefaultTpmPort[] = "2321";

using TssLibraries = platform::SharedLibrary[std::size(kTssLibraries)];

// Looks `name` up in every loaded library (and the libraries they pull in).
void* FindSymbol(const TssLibraries& libraries, const char* name) {
  std::string error;
  for (const platform::SharedLibrary& library : libraries) {
    if (void* found = library.FindSymbol(name, error)) return found;
  }
  return nullptr;
}

// The stack as the first call loaded it: its table, or null with the reason.
struct LoadedStack {
  std::unique_ptr<TpmStack> stack;
  std::string reason;
};

// Loads every library and function; null with the reason when one is
// missing. The libraries stay loaded: the stack is never unloaded, which
// keeps their crypto library's clean-up out of the process's exit.
LoadedStack Load() {
  TssLibraries libraries;
  for (std::size_t i = 0; i < std::size(kTssLibraries); ++i) {
    std::string error;
    const bool loaded = libraries[i].Open(kTssLibraries[i], error);
    libraries[i].KeepLoaded();
    if (!loaded) {
      return {nullptr, std::string("TPM: cannot load '") + kTssLibraries[i] + "': " + error};
    }
  }
  auto stack = std::make_unique<TpmStack>();
#define KELVOX_TSS2_RESOLVE(name)                                                  \
  stack->name = reinterpret_cast<decltype(&::name)>(FindSymbol(libraries, #name)); \
  if (stack->name == nullptr) {                                                    \
    return {nullptr, "TPM: the TSS libraries lack '" #name "'"};                   \
  }
  KELVOX_TSS2_FUNCTIONS(KELVOX_TSS2_RESOLVE)
#undef KELVOX_TSS2_RESOLVE
  return {std::move(stack), {}};
}

// The value of `key` in a TCTI configuration "key=value,key=value".
std::string ConfValue(const std::string& conf, const std::string& key, const char* fallback) {
  std::size_t start = 0;
  while (start <= conf.size()) {
    std::size_t end = conf.find(',', start);
    if (end == std::string::npos) end = conf.size();
    const std::string item = conf.substr(start, end - start);
    if (item.compare(0, key.size() + 1, key + "=") == 0) return item.substr(key.size() + 1);
    start = end + 1;
  }
  return fallback;
}

// The control exchange the swtpm TCTI makes while starting, and waits for
// without a bound: setting locality 0 (command 5, big-endian, then the
// locality) over the control port, answered by a 4-byte result.
platform::TcpResult ProbeSwtpmControl(const std::string& host, int port, int timeout_ms) {
  constexpr unsigned char kSetLocalityZero[] = {0, 0, 0, 5, 0};
  constexpr std::size_t kResultSize = 4;
  platform::TcpConnection control;
  platform::TcpResult result = control.Connect(host, std::to_string(port + 1), timeout_ms);
  if (result.IsOk()) result = control.Send(kSetLocalityZero, sizeof(kSetLocalityZero));
  unsigned char answer[kResultSize];
  if (result.IsOk()) result = control.Receive(answer, kResultSize, timeout_ms);
  return result;
}

}  // namespace

const TpmStack* LoadTpmStack(std::string& reason) {
  static const LoadedStack loaded = Load();
  if (loaded.stack == nullptr) reason = loaded.reason;
  return loaded.stack.get();
}

bool ProbeTpmConnection(const std::string& tcti, int timeout_ms, std::string& reason) {
  const std::size_t colon = tcti.find(':');
  const std::string name = tcti.substr(0, colon);
  const bool swtpm = name.find("swtpm") != std::string::npos;
  if (!swtpm && name.find("mssim") == std::string::npos) return true;
  const std::string conf = colon == std::string::npos ? "" : tcti.substr(colon + 1);
  if (!ConfValue(conf, "path", "").empty()) return true;  // a local socket
  const std::string host = ConfValue(conf, "host", kDefaultTpmHost);
  const std::string port = ConfValue(conf, "port", kDefaultTpmPort);
  platform::TcpConnection command;
  platform::TcpResult result = command.Connect(host, port, timeout_ms);
  if (result.IsOk() && swtpm) {
    result = ProbeSwtpmControl(host, std::atoi(port.c_str()), timeout_ms);
  }
  if (result.kind == platform::TcpResult::Kind::kTimedOut) {
    reason = "TPM: '" + host + "' port '" + port + "' did not answer within " +
             std::to_string(timeout_ms) + " ms";
  } else if (!result.IsOk()) {
    reason = "TPM: cannot reach '" + host + "' port '" + port + "': " + result.reason;
  }
  return result.IsOk();
}

}  // namespace endecrypt
