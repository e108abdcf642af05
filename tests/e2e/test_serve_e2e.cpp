// The credential server end to end: the test plays the service manager,
// handing the real program a listening socket as a socket unit would, and
// asking from the abstract addresses the manager binds to.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/Process.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::WriteFile;

const std::string kKelvox = KELVOX_PROGRAM;
constexpr uid_t kNobody = 65534;

class ServeE2eTest : public testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "only root's peers are served, and only root is one";
    WriteFile(dir.File("global.config"),
              "ENCRYPT_SETTING_PATH=" + dir.File("s.store") + "\nENCRYPTED_CREDENTIALS_FILE_PATH=" +
                  dir.File("c.store") + "\nENCRYPT_HOST_KEY_PATH=" + dir.File("host.key") +
                  "\nLOG_FILE=" + dir.File("kelvox.log") + "\n");
    Set("db.password", "pw-1");
    WriteFile(dir.File("credentials.conf"),
              "[app.service]\ndb = settings:db.password\ngone = settings:nope\n"
              "[worker@.service]   # every instance\ntoken = settings:db.password\n");
    ::chmod(dir.File("credentials.conf").c_str(), 0600);
    StartServer();
  }

  void TearDown() override {
    if (server > 0) {
      ::kill(server, SIGTERM);
      ::waitpid(server, nullptr, 0);
    }
  }

  void Set(const std::string& key, const std::string& value) {
    WriteFile(dir.File("v"), value);
    ASSERT_EQ(e2e::RunWithPipes({kKelvox, "set", "--type", "settings", "--key", key, "--value-from",
                                 dir.File("v"), "--unattended", "--quiet"},
                                {{"KELVOX_GLOBAL_CONFIG", dir.File("global.config")}})
                  .status,
              0);
  }

  // Starts `kelvox serve` as a socket unit would: the listening socket as
  // descriptor 3, LISTEN_FDS=1 and LISTEN_PID its own.
  void StartServer() {
    const int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = AddressOf(Socket());
    ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr*>(&address), SizeOf(Socket())), 0);
    ASSERT_EQ(::listen(listening, 512), 0);
    server = ::fork();
    if (server == 0) {
      if (listening == 3) ::fcntl(3, F_SETFD, 0);
      if (listening != 3) ::dup2(listening, 3);
      ::setenv("LISTEN_FDS", "1", 1);
      ::setenv("LISTEN_PID", std::to_string(::getpid()).c_str(), 1);
      ::setenv("KELVOX_GLOBAL_CONFIG", dir.File("global.config").c_str(), 1);
      ::execl(kKelvox.c_str(), "kelvox", "serve", nullptr);
      ::_exit(127);
    }
    ::close(listening);
  }

  // The server's socket: an abstract address, which a peer of any user may
  // reach, so that the server's own check of who asks is what refuses one.
  std::string Socket() const {
    return std::string(1, '\0') + "kelvox-serve-test-" + std::to_string(::getpid()) + "-" +
           dir.path().filename().string();
  }
  static sockaddr_un AddressOf(const std::string& raw) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, raw.data(), std::min(raw.size(), sizeof address.sun_path));
    return address;
  }
  static socklen_t SizeOf(const std::string& raw) {
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + raw.size());
  }

  // What the server at `path` sends to a peer bound to `bound` (raw bytes;
  // an abstract address starts with NUL), read to its end.
  static std::string Exchange(const std::string& path, const std::string& bound) {
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un self = AddressOf(bound);
    ::bind(client, reinterpret_cast<const sockaddr*>(&self), SizeOf(bound));
    const sockaddr_un server = AddressOf(path);
    if (::connect(client, reinterpret_cast<const sockaddr*>(&server), SizeOf(path)) != 0) {
      ::close(client);
      return "cannot connect";
    }
    std::string answer;
    char buffer[4096];
    for (ssize_t got; (got = ::read(client, buffer, sizeof buffer)) > 0;) {
      answer.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(client);
    return answer;
  }

  // Exchange with the server, as `uid` when not root.
  std::string Ask(const std::string& bound, uid_t uid = 0) const {
    if (uid == 0) return Exchange(Socket(), bound);
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) return "pipe failed";
    const std::string path = Socket();
    const pid_t asker = ::fork();
    if (asker == 0) {
      if (::setresuid(uid, uid, uid) != 0) ::_exit(1);
      const std::string answer = Exchange(path, bound);
      static_cast<void>(::write(pipe_ends[1], answer.data(), answer.size()));
      ::_exit(0);
    }
    ::close(pipe_ends[1]);
    std::string answer;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipe_ends[0], buffer, sizeof buffer)) > 0;) {
      answer.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipe_ends[0]);
    ::waitpid(asker, nullptr, 0);
    return answer;
  }

  // The manager's address for `unit` and `id`, its random part unique
  // among every test process: abstract addresses are shared by them all.
  static std::string From(const std::string& unit, const std::string& id) {
    static std::atomic<unsigned> made{0};
    char random[24];
    std::snprintf(random, sizeof random, "%08x%08x", static_cast<unsigned>(::getpid()), made++);
    return std::string(1, '\0') + random + "/unit/" + unit + "/" + id;
  }

  testing_support::ScopedTempDir dir;
  pid_t server = -1;
};

// Each request is answered with the granted value or with nothing, and
// the log says which, never with a value.
TEST_F(ServeE2eTest, OnlyTheManagerGetsWhatIsGrantedToTheUnit) {
  const struct Row {
    const char* what;
    std::function<void()> arrange;
    std::string bound;
    uid_t uid;
    std::string sent;
  } rows[] = {
      {"granted", [] {}, From("app.service", "db"), 0, "pw-1"},
      {"an instance of a granted template", [] {}, From("worker@eu.service", "token"), 0, "pw-1"},
      {"no grant for the id", [] {}, From("app.service", "token"), 0, ""},
      {"no grant for the unit", [] {}, From("other.service", "db"), 0, ""},
      {"granted but not stored", [] {}, From("app.service", "gone"), 0, ""},
      {"not the manager", [] {}, From("app.service", "db"), kNobody, ""},
      {"not an abstract address", [] {}, dir.File("peer.sock"), 0, ""},
      {"no unit in the address", [] {}, std::string(1, '\0') + "5eed/app.service/db", 0, ""},
      {"a path in the id", [] {}, From("app.service", "../db"), 0, ""},
      {"a grant file others may write",
       [this] { ::chmod(dir.File("credentials.conf").c_str(), 0666); }, From("app.service", "db"), 0, ""},
      {"the grant file fixed: taken at once",
       [this] { ::chmod(dir.File("credentials.conf").c_str(), 0600); }, From("app.service", "db"), 0, "pw-1"},
      {"a changed value: served at once", [this] { Set("db.password", "pw-2"); }, From("app.service", "db"), 0, "pw-2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    row.arrange();
    EXPECT_EQ(Ask(row.bound, row.uid), row.sent);
  }
  const std::string log = testing_support::ReadFile(dir.File("kelvox.log"));
  for (const char* said : {"unit other.service credential db: refused, no grant",
                           "refused, the peer is not the service manager (uid 65534)"}) {
    EXPECT_NE(log.find(said), std::string::npos) << said;
  }
  EXPECT_EQ(log.find("pw-"), std::string::npos) << "a value in the log";
  // A granted request leaves its audit line, naming the unit.
  EXPECT_NE(testing_support::ReadFile(dir.File("audit.log"))
                .find("\"command\":\"serve\",\"store\":\"" + dir.File("s.store") +
                      "\",\"keys\":[\"db.password\"],\"unit\":\"worker@eu.service\""),
            std::string::npos);
}

TEST_F(ServeE2eTest, TwoHundredRequestsAtOnceAreAllAnswered) {
  std::vector<std::string> answers(200);
  std::vector<std::thread> askers;
  for (std::size_t i = 0; i < answers.size(); ++i) {
    askers.emplace_back([this, &answers, i] { answers[i] = Ask(From("app.service", "db")); });
  }
  for (std::thread& asker : askers) asker.join();
  for (const std::string& answer : answers) EXPECT_EQ(answer, "pw-1");
  EXPECT_EQ(::kill(server, 0), 0) << "the server ended";
}

// The real service manager, booted in a container over an overlay of this
// machine's root, loads a granted credential into a unit, an instance of a
// granted template too, and gives a unit without a grant an empty one.
TEST(ServeWithTheServiceManagerTest, LoadCredentialGetsWhatIsGranted) {
  if (::geteuid() != 0 || std::system("command -v systemd-nspawn >/dev/null") != 0 ||
      !std::filesystem::is_directory("/srv")) {
    GTEST_SKIP() << "needs root, /srv and systemd-nspawn (systemd-container)";
  }
  // Outside /tmp, which the container and the hardened service each have
  // their own of, wherever the build is.
  const std::string work = "/srv/kelvox-nspawn-test-" + std::to_string(::getpid());
  const std::string state = work + "/state";
  std::filesystem::create_directories(state);
  WriteFile(state + "/global.config",
            "ENCRYPT_SETTING_PATH=" + state + "/s.store\nENCRYPTED_CREDENTIALS_FILE_PATH=" + state +
                "/c.store\nENCRYPT_HOST_KEY_PATH=" + state + "/host.key\nLOG_FILE=" + work +
                "/results/kelvox.log\nCREDENTIALS_POLICY_FILE=" + state + "/credentials.conf\n");
  WriteFile(state + "/v", "pw-1");
  ASSERT_EQ(e2e::RunWithPipes({kKelvox, "set", "--type", "settings", "--key", "db.password",
                               "--value-from", state + "/v", "--unattended", "--quiet"},
                              {{"KELVOX_GLOBAL_CONFIG", state + "/global.config"}})
                .status,
            0);
  WriteFile(state + "/credentials.conf",
            "[app.service]\ndb = settings:db.password\n[worker@.service]\ntoken = settings:db.password\n");
  ::chmod((state + "/credentials.conf").c_str(), 0600);
  const std::string bin = std::filesystem::path(kKelvox).parent_path().string();
  const int ran = std::system((std::string(KELVOX_NSPAWN_SCRIPT) + " '" + work + "' '" + bin + "' '" +
                               KELVOX_UNIT_TEMPLATES + "' >/dev/null 2>&1").c_str());
  if (WIFEXITED(ran) && WEXITSTATUS(ran) == 77) GTEST_SKIP() << "the container cannot run here";
  const auto result = [&work](const char* name) { return testing_support::ReadFile(work + "/results/" + name); };
  EXPECT_EQ(ran, 0) << result("console");
  EXPECT_EQ(result("app"), "pw-1");
  EXPECT_EQ(result("worker"), "pw-1");
  EXPECT_EQ(result("other"), "");
  const std::string log = result("kelvox.log");
  EXPECT_NE(log.find("unit other.service credential db: refused, no grant"), std::string::npos) << log;
  EXPECT_EQ(log.find("pw-1"), std::string::npos) << "a value in the log";
  if (std::getenv("KEEP") == nullptr) std::filesystem::remove_all(work);
}

// Started by hand, not by the manager, it says what it expected.
TEST(ServeRefusalTest, WithoutAHandedSocketItNamesWhatItExpected) {
  const e2e::Finished run = e2e::RunWithPipes({kKelvox, "serve"}, {});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.error.find("expected LISTEN_FDS=1 and LISTEN_PID="), std::string::npos) << run.error;
}

}  // namespace
