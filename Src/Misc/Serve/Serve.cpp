#include "Src/Misc/Serve/Serve.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <thread>
#include <utility>
#include <vector>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/KeyText.h"
#include "Src/Misc/Common/StoreLocation.h"
#include "Src/Misc/Common/Trace.h"
#include "Src/Misc/Serve/Grants.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "host/GlobalConfig.h"
#include "suite/platform/Files.h"
#include "suite/platform/Utf8Path.h"
#include "suite/secretmemory/SecretMemory.h"
#include "suite/usage/Commands.h"

namespace {

constexpr char kPolicySetting[] = "CREDENTIALS_POLICY_FILE";
constexpr char kDefaultPolicyName[] = "credentials.conf";
// The largest grant file read, and the largest value sent: the service
// manager's own limit for one credential.
constexpr std::size_t kMaxPolicySize = 1 << 20;
constexpr std::size_t kMaxValueSize = 1 << 20;
// Connections answered at once; more wait in the socket's queue.
constexpr unsigned kWorkers = 4;
constexpr std::uint32_t kManagerUser = 0;

// The grant file: as configured, else beside the configuration read.
std::string PolicyPath() {
  std::string path;
  if (ZUdurov::GlobalConfig::GetConfigItem(kPolicySetting, path) == ZUdurov::GlobalConfig::kOk) {
    return path;
  }
  const std::filesystem::path config = platform::MakePath(ZUdurov::GlobalConfig::GetLoadedFile());
  return platform::PathToUtf8(config.parent_path() / kDefaultPolicyName);
}

// Connections accepted and not yet answered, handed to the workers.
class ConnectionQueue {
 public:
  void Push(platform::Connection connection) {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      waiting.push_back(std::move(connection));
    }
    ready.notify_one();
  }
  platform::Connection Pop() {
    std::unique_lock<std::mutex> lock(mutex);
    ready.wait(lock, [this] { return !waiting.empty(); });
    platform::Connection next = std::move(waiting.front());
    waiting.pop_front();
    return next;
  }

 private:
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<platform::Connection> waiting;
};

}  // namespace

uint32_t SERVE::RunCommand() {
  TRACE_ENTERING("SERVE::Run");
  platform::ActivatedSocket socket;
  std::string reason;
  if (!socket.Take(reason)) {
    CONSOLE_MESSAGE(kLevelError) << "kelvox serve runs under the service manager: " << reason
                                 << ".";
    return ERR_GENERIC_FAILURE;  // not a fault of the command line: no usage follows
  }
  KLOG(kLevelConsole) << "serve: answering credential requests; grants in " << PolicyPath();
  ConnectionQueue queue;
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < kWorkers; ++i) {
    workers.emplace_back([this, &queue] {
      for (;;) {
        platform::Connection connection = queue.Pop();
        Answer(connection);
      }
    });
  }
  for (;;) {
    platform::Connection connection;
    if (!socket.Accept(connection, reason)) break;
    queue.Push(std::move(connection));
  }
  // The socket failed for good: the manager starts the server again on
  // the next request.
  KLOG(kLevelError) << "serve: " << reason << ".";
  for (std::thread& worker : workers) worker.detach();
  return ERR_GENERIC_FAILURE;
}

void SERVE::Answer(platform::Connection& connection) {
  Requester requester;
  std::string reason;
  std::string value;
  const ScopedWipe<std::string> wipe(value);
  bool granted = false;
  if (!connection.HasPeerUser() || connection.GetPeerUser() != kManagerUser) {
    reason = "the peer is not the service manager (uid " +
             (connection.HasPeerUser() ? std::to_string(connection.GetPeerUser()) : "unknown") +
             ")";
  } else if (ReadRequester(connection.GetPeerAddress(), requester, reason)) {
    granted = LookUp(requester, value, reason);
  }
  if (granted && !connection.SendAll(value.data(), value.size())) {
    granted = false;
    reason = "the value could not be sent";
  }
  const std::string who = requester.unit.empty()
                              ? std::string("a peer")
                              : "unit " + requester.unit + " credential " + requester.id;
  if (granted) {
    KLOG(kLevelConsole) << "serve: " << who << ": sent " << value.size() << " bytes";
  } else {
    KLOG(kLevelError) << "serve: " << who << ": refused, " << reason;
  }
}

bool SERVE::LookUp(const Requester& requester, std::string& value, std::string& reason) {
  const std::lock_guard<std::mutex> lock(store_mutex);
  const std::string policy = PolicyPath();
  std::vector<unsigned char> text;
  const platform::FileResult read = platform::ReadWholeFile(policy, kMaxPolicySize, text);
  if (read != platform::FileResult::kOk) {
    reason = "the grant file " + policy + " cannot be used" +
             (read.GetReason().empty() ? std::string() : ": " + read.GetReason());
    return false;
  }
  Grant grant;
  if (!FindGrant(std::string(text.begin(), text.end()), requester.unit, requester.id, grant,
                 reason)) {
    return false;
  }
  std::string path;
  if (LocateStore(EncryptedPathKeys[grant.type], path) != ERR_SUCCEED) {
    reason = std::string("no path for the ") + kStoreTypeNames[grant.type] + " store";
    return false;
  }
  EnDecrypt* store = EnDecrypt::GetInstance();
  if (store == nullptr) {
    reason = "the store library cannot start";
    return false;
  }
  const StoreStatus status = store->GetValue(path, "", grant.key, value);
  // Each request is recorded, a refused read too, before a value goes out.
  const AuditAct act{"serve", path, {grant.key}, requester.unit, ""};
  if (!status.IsOk()) static_cast<void>(RecordAct(act, FromStoreStatus(status)));
  if (status.IsOk() && ::RecordReveal(act) != ERR_SUCCEED) {
    WipeString(value);
    reason = "the audit log cannot be written and AUDIT_REQUIRED=yes";
    return false;
  }
  if (!status.IsOk()) {
    reason = status.IsRecordAbsent()
                 ? "the key " + ShownText(grant.key) + " is not stored in " + path
                 : "the store " + path + " cannot be read unattended" +
                       (status.GetReason().empty() ? std::string() : ": " + status.GetReason());
    return false;
  }
  if (value.size() > kMaxValueSize) {
    reason = "the value of " + ShownText(grant.key) + " is over 1 MiB";
    return false;
  }
  return true;
}
