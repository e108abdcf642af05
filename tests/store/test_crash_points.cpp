// Every write of the store, the host key's ring and an output file, with a
// file layer that fails each of its steps in turn or crashes there
// (tests/support/FaultyFiles.h): afterwards the store opens and holds the
// old records or the new, every store opens with the ring, an output is the
// old file or the whole new one; and once the next writer (on the real file
// layer) has run, no temporary is left. An audit line's append likewise.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Src/Misc/Common/AuditChain.h"
#include "Src/Misc/Common/AuditLog.h"
#include "Src/Misc/Common/OutputFile.h"
#include "host/EnDecrypt.h"
#include "suite/endecrypt/HostKeyAdmin.h"
#include "suite/endecrypt/StoreEngine.h"
#include "tests/support/FaultyFiles.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = boost::filesystem;
namespace status = endecrypt_status;
using Records = std::map<std::string, std::string>;
using testing_support::ReadFile;

constexpr char kPassphrase[] = "correct horse";
const Records kOld{{"a", "1"}, {"b", "2"}};
const Records kNew{{"c", "3"}};

// One write to break: `change` runs it from the files `restore` leaves;
// `state` says "old", "new" or what else it finds; `next` is the next
// writer, on the real file layer, after whose cleanup no temporary is left.
struct Scenario {
  const char* what;
  std::function<void()> restore;
  std::function<StoreStatus()> change;
  std::function<std::string()> state;
  std::function<StoreStatus()> next;
};

class CrashPointTest : public testing::Test {
 protected:
  CrashPointTest() {
    endecrypt::StoreOptions options;
    options.settings.emplace();
    options.settings->costs = {1, 8192};  // the cheapest: every step derives again
    options.settings->host_key_path = host_key;
    EXPECT_EQ(endecrypt::StoreEngine::Open(options, real), status::kOk);
    options.files = &files;
    EXPECT_EQ(endecrypt::StoreEngine::Open(options, faulty), status::kOk);
  }

  // The engine in use: the one on the faulty file layer while a change runs.
  endecrypt::StoreEngine* Engine() const { return breaking ? faulty.get() : real.get(); }
  EnDecrypt Store() const { return EnDecrypt(*Engine()); }
  // The records of the store at `at`, or the status that refused them.
  std::string Opened(const std::string& at, const std::string& passphrase,
                     const Records& old_records, const Records& new_records) const {
    Records records;
    const StoreStatus result = Store().Decrypt(at, records, passphrase);
    if (result != status::kOk) return "status " + std::to_string(result.GetCode());
    return records == old_records ? "old" : records == new_records ? "new" : "other records";
  }
  // Makes the folders `stores` and `keys` hold only what `files` holds.
  void Put(const std::map<std::string, std::string>& files) {
    for (const char* folder : {"stores", "keys"}) {
      fs::remove_all(dir.File(folder));
      fs::create_directories(dir.File(folder));
    }
    for (const auto& [name, bytes] : files) testing_support::FaultyFiles::PutFile(dir.File(name), bytes);
  }
  // What the folders hold now, lock files aside; only the temporaries'
  // names with `temporaries`.
  std::map<std::string, std::string> Take(bool temporaries = false) const {
    std::map<std::string, std::string> files;
    for (const char* folder : {"stores", "keys"}) {
      for (const fs::path& entry : fs::directory_iterator(dir.File(folder))) {
        const std::string name = std::string(folder) + "/" + entry.filename().string();
        if (temporaries && name.find(".tmp-") != std::string::npos) files[name] = "";
        if (!temporaries && !name.ends_with(".lock")) files[name] = ReadFile(entry.string());
      }
    }
    return files;
  }
  // Fails, then crashes, each step of the scenario's change in turn.
  void BreakEveryStep(const Scenario& scenario) {
    SCOPED_TRACE(scenario.what);
    const auto change = [&] {
      breaking = true;
      const StoreStatus result = scenario.change();
      breaking = false;
      return result;
    };
    scenario.restore();
    files.Count();
    ASSERT_EQ(change(), status::kOk);
    ASSERT_EQ(scenario.state(), "new");
    const int steps = files.Steps();
    ASSERT_GT(steps, 0);
    for (int step = 1; step <= steps; ++step) {
      SCOPED_TRACE("step " + std::to_string(step) + " of " + std::to_string(steps));
      scenario.restore();
      files.FailAt(step);
      const StoreStatus failed = change();
      const std::string after_failure = scenario.state();
      EXPECT_TRUE(after_failure == "new" || (failed != status::kOk && after_failure == "old"))
          << after_failure << ", status " << failed;
      scenario.restore();
      files.CrashAt(step);
      static_cast<void>(change());  // the process is gone: nobody sees the status
      files.Reboot();
      const std::string after_crash = scenario.state();
      EXPECT_TRUE(after_crash == "old" || after_crash == "new") << after_crash;
      EXPECT_EQ(scenario.next(), status::kOk);
      EXPECT_EQ(Take(true), (std::map<std::string, std::string>{}));
    }
  }

  testing_support::ScopedTempDir dir;
  testing_support::FaultyFiles files;
  std::string host_key = dir.File("keys/host.key");
  std::string store = dir.File("stores/s.store");
  std::unique_ptr<endecrypt::StoreEngine> real, faulty;
  bool breaking = false;
};

// A new store (unattended: and its host key), an update, a removal, a
// rekey, in both modes.
TEST_F(CrashPointTest, StoreWritesLeaveTheOldOrTheNewRecords) {
  Put({});
  const std::string unattended = dir.File("stores/u.store");
  ASSERT_EQ(Store().Encrypt(kOld, store, kPassphrase, false), status::kOk);
  ASSERT_EQ(Store().Encrypt(kOld, unattended, "", false), status::kOk);
  const auto stored = Take();
  std::vector<Scenario> scenarios;
  for (const std::string passphrase : {kPassphrase, ""}) {
    const std::string at = passphrase.empty() ? unattended : store;
    const auto holds = [=, this](const Records& old_records) {
      return [=, this] { return Opened(at, passphrase, old_records, kNew); };
    };
    const auto next = [=, this] { return Store().Encrypt(kNew, at, passphrase, true); };
    scenarios.push_back({"a new store", [&] { Put({}); },
                         [=, this] { return Store().Encrypt(kNew, at, passphrase, false); },
                         [=, this] { return fs::exists(at) ? holds({})() : "old"; }, next});
    scenarios.push_back({"an update", [&] { Put(stored); },
                         [=, this] { return Store().Encrypt(kNew, at, passphrase, false); },
                         holds(kOld), next});
    scenarios.push_back({"a removal", [&] { Put(stored); },
                         [=, this] { return Store().Remove(at, {"a", "b"}, passphrase); },
                         [=, this] { return Opened(at, passphrase, kOld, {}); }, next});
  }
  scenarios.push_back(
      {"a rekey", [&] { Put(stored); },
       [&] { return Store().Rekey(store, kPassphrase, "other passphrase"); },
       [&] {
         const std::string old_key = Opened(store, kPassphrase, kOld, {});
         return old_key == "status 13" && Opened(store, "other passphrase", kOld, {}) == "old"
                    ? "new"
                    : old_key;
       },
       [&] {  // under whichever passphrase the store is now
         return Store().Encrypt(kNew, store, kPassphrase, true) == status::kOk
                    ? status::kOk
                    : Store().Encrypt(kNew, store, "other passphrase", true);
       }});
  for (const Scenario& scenario : scenarios) BreakEveryStep(scenario);
}

// Every store opens with the ring whatever step of a host-key change a
// crash stopped: a rotation that moves one of two stores, a retire.
TEST_F(CrashPointTest, HostKeyChangesLeaveEveryStoreOpening) {
  Put({});
  const std::string moved = store, other = dir.File("stores/other.store");
  for (const std::string& at : {moved, other}) {
    ASSERT_EQ(Store().Encrypt(kOld, at, "", false), status::kOk);
  }
  HostKeyFacts facts;
  ASSERT_EQ(EnDecryptDescribeHostKey(facts, Engine()), status::kOk);
  const std::string first_id = facts.key_id;
  const auto rotate = [&] {
    std::string kept, used;
    const StoreStatus rotated = EnDecryptRotateHostKey("", kept, used, Engine());
    return rotated == status::kOk ? Store().Rekey(moved, "", "") : rotated;
  };
  // "new" once the key is no longer `id` (or, `retired`, no longer kept),
  // when every store still opens.
  const auto opens = [&](const std::string& id, bool retired) {
    return [&, id, retired] {
      for (const std::string& at : {moved, other}) {
        const std::string found = Opened(at, "", kOld, {});
        if (found != "old") return at + ": " + found;
      }
      HostKeyFacts facts;
      static_cast<void>(EnDecryptDescribeHostKey(facts, Engine()));
      const bool kept = std::count(facts.kept_key_ids.begin(), facts.kept_key_ids.end(), id) != 0;
      return (retired ? !kept : facts.key_id != id) ? std::string("new") : std::string("old");
    };
  };
  const auto before = Take();
  ASSERT_EQ(rotate(), status::kOk);
  ASSERT_EQ(Store().Rekey(other, "", ""), status::kOk);
  const auto rotated = Take();
  const Scenario scenarios[] = {
      {"a rotation", [&] { Put(before); }, rotate, opens(first_id, false), rotate},
      {"a retire", [&] { Put(rotated); },
       [&] {
         std::string needed_by;
         return EnDecryptRetireHostKey(first_id, {moved, other}, needed_by, Engine());
       },
       opens(first_id, true), rotate},
  };
  for (const Scenario& scenario : scenarios) BreakEveryStep(scenario);
}

// What decrypt and export write with --output: absent or whole, and with
// --force the old file or the whole new one.
TEST_F(CrashPointTest, OutputFilesAreTheOldOrTheWholeNewFile) {
  const std::string text(3000, 'p'), old_text = "old";
  const std::string output = dir.File("stores/plain.txt");
  for (const bool force : {false, true}) {
    const Scenario scenario = {
        force ? "--force" : "a new file",
        [&] { Put(force ? std::map<std::string, std::string>{{"stores/plain.txt", old_text}}
                        : std::map<std::string, std::string>{}); },
        [&] { return OutputFile{output, force}.Write(text.data(), text.size(), files) == 0 ? 0 : 1; },
        [&] {
          if (!fs::exists(output)) return force ? "gone" : "old";
          const std::string now = ReadFile(output);
          return now == text ? "new" : force && now == old_text ? "old" : "a part";
        },
        [&] { return OutputFile{output, true}.Write(text.data(), text.size()) == 0 ? 0 : 1; }};
    BreakEveryStep(scenario);
  }
}

// An audit line crashed at each step of its append: a killed process leaves
// the old log or the old log and a torn line, a power cut the old log; the
// next append ends the torn line and the chain, torn line passed over,
// verifies on to the new line.
TEST_F(CrashPointTest, AuditAppendsLeaveTheOldLogOrATornLine) {
  const std::vector<unsigned char> key(kAuditKeySize, 7);
  const std::string log = dir.File("stores/audit.log");
  const auto append = [&](platform::FileSystem& layer) {
    AuditEntry entry;
    entry.command = "get";
    std::string reason;
    return AppendAuditLine(log, key, layer, entry, reason);
  };
  Put({});
  ASSERT_TRUE(append(platform::SystemFiles()));
  const std::string old_log = ReadFile(log);
  const auto before = Take();
  files.Count();
  ASSERT_TRUE(append(files));
  const int steps = files.Steps();
  ASSERT_GT(steps, 1);  // the line and its state file, both through the layer
  for (int step = 1; step <= steps; ++step) {
    for (const bool power_cut : {false, true}) {
      SCOPED_TRACE("step " + std::to_string(step) + (power_cut ? ", power cut" : ", killed"));
      Put(before);
      files.CrashAt(step);
      EXPECT_FALSE(append(files));
      if (power_cut) files.Reboot();
      files.Count();
      // The old log, and perhaps a torn line or the whole new one.
      const std::string left = ReadFile(log);
      ASSERT_TRUE(left.starts_with(old_log)) << left;
      const std::string added = left.substr(old_log.size());
      const bool torn = !added.empty() && !added.ends_with('\n');
      EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), added.empty() || torn ? 0 : 1);
      EXPECT_TRUE(added.empty() || !power_cut);
      ASSERT_TRUE(append(platform::SystemFiles()));
      const ChainReport report = CheckAuditChain({ReadFile(log)}, key);
      EXPECT_TRUE(report.ok);
      EXPECT_EQ(report.reason, torn ? "torn" : "");
      EXPECT_EQ(report.last_seq, added.empty() || torn ? 2u : 3u);
    }
  }
}

}  // namespace
