// Runs cut short leave no secret behind: the plaintext file edit hands its
// editor, wherever the run ends; what a writer killed midway left beside
// a file it replaces; and no record goes where a link, or a file someone
// else put in our way, leads. The real program and plug-ins, with shell
// scripts as editors.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <boost/filesystem.hpp>

#include "suite/platform/FileNames.h"
#include "tests/e2e/Home.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = boost::filesystem;
using e2e::Finished;
using testing_support::ReadFile;
using testing_support::WriteFile;

const std::vector<std::string> kEdit = {"edit", "--type", "settings", "--unattended", "--quiet"};

class CleanupE2eTest : public e2e::HomeTest<> {
 protected:
  CleanupE2eTest() {
    WriteFile(dir.File("settings.json"), "{\"sensitive_settings\": {\"db\": \"s3cret\"}}\n");
    EXPECT_EQ(Run({"encrypt", "--configfile", "@settings.json", "--unattended"}).status, 0);
  }

  // An editor that "exec" makes kelvox's own child.
  std::string OwnEditor(const std::string& name, const std::string& body) const {
    return "exec " + Editor(name, body);
  }
  // What an edit with `editor` adds to the environment: its private
  // folders in /dev/shm (no runtime folder), and `more`.
  e2e::Environment Editing(const std::string& editor, e2e::Environment more = {}) const {
    more.insert({{"EDITOR", editor}, {"XDG_RUNTIME_DIR", ""}, {"XDG_STATE_HOME", dir.File("state")}});
    return more;
  }
  Finished Edit(const std::string& editor = "true", const e2e::Environment& more = {}) const {
    return Run(kEdit, "", Editing(editor, more));
  }

  // The private folder of the latest editor, once it has recorded it.
  std::string EditFolder() {
    for (int wait = 0; wait < 200; ++wait) {
      const std::string path = fs::exists(dir.File("edited-path")) ? ReadFile(dir.File("edited-path")) : "";
      if (!path.empty() && path.back() == '\n') return fs::path(path.substr(0, path.size() - 1)).parent_path().string();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "no editor ran";
  }

};

TEST_F(CleanupE2eTest, AnEditEndedByASignalLeavesNoPlaintext) {
  const std::string editor = OwnEditor("signal.sh", "kill -$SIGNAL $PPID");
  // While the editor runs kelvox ignores SIGINT and SIGQUIT (the editor has
  // the terminal and decides), and SIGXFSZ always (a write past the limit
  // fails instead): the run goes on, and ends as usual.
  const struct Row { int number; bool ends; } rows[] = {
      {SIGHUP, true}, {SIGINT, false}, {SIGQUIT, false}, {SIGILL, true}, {SIGTRAP, true}, {SIGABRT, true},
      {SIGBUS, true}, {SIGFPE, true}, {SIGUSR1, true}, {SIGSEGV, true}, {SIGUSR2, true}, {SIGPIPE, true},
      {SIGALRM, true}, {SIGTERM, true}, {SIGSTKFLT, true}, {SIGXCPU, true}, {SIGXFSZ, false},
      {SIGVTALRM, true}, {SIGPROF, true}, {SIGIO, true}, {SIGPWR, true}, {SIGSYS, true},
      {SIGRTMIN, true}, {SIGRTMAX, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(strsignal(row.number));
    fs::remove(dir.File("edited-path"));
    // Under the address sanitizer its own handlers of the fault signals
    // would stand in for kelvox's; they are turned off for the child.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string sanitizer = std::string(asan != nullptr ? asan : "") +
                                  ":handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0";
    const Finished run = Edit(editor, {{"SIGNAL", std::to_string(row.number)}, {"ASAN_OPTIONS", sanitizer}});
    EXPECT_EQ(run.signal, row.ends ? row.number : 0) << run.error;
    EXPECT_FALSE(fs::exists(EditFolder()));
  }
}

// SIGKILL leaves the file; the next edit removes it, but not the file of
// an edit still running.
TEST_F(CleanupE2eTest, TheNextEditRemovesAKilledEditsFileButNotALiveOnes) {
  EXPECT_EQ(Edit(OwnEditor("kill.sh", "kill -KILL $PPID")).signal, SIGKILL);
  const std::string killed = EditFolder();
  ASSERT_TRUE(fs::exists(killed));
  fs::remove(dir.File("edited-path"));
  const std::string release = dir.File("release");
  e2e::PtySession live(Args(kEdit), Env(Editing(OwnEditor("hold.sh", "while [ ! -e " + release + " ]; do sleep 0.1; done"))));
  const std::string held = EditFolder();
  EXPECT_EQ(Edit().status, 0);
  EXPECT_FALSE(fs::exists(killed));
  EXPECT_TRUE(fs::exists(held));
  WriteFile(release, "");
  EXPECT_EQ(live.Wait().status, 0);
  EXPECT_FALSE(fs::exists(held));
}

// What the editor makes in its folder goes with it (its backup "file~" and
// swap ".file.swp" too, and sub-folders), however the run ends, an
// ordinary exit included; a link there goes itself, never what it names.
TEST_F(CleanupE2eTest, TheWholeFolderGoesAndNoLinkInItIsFollowed) {
  fs::create_directories(dir.File("outside"));
  WriteFile(dir.File("outside/kept"), "kept");
  const std::string make = "d=$(dirname \"$1\")/backup; mkdir -p $d/deeper; echo x > $d/copy; echo x > $d/deeper/copy; "
                           "echo x > \"$1~\"; echo x > \"$(dirname \"$1\")/.$(basename \"$1\").swp\"; "
                           "ln -s " + dir.File("outside") + " $d/out\n";
  const struct Row { const char* end; int signal; } rows[] = {{"", 0}, {"kill -TERM $PPID", SIGTERM}, {"kill -KILL $PPID", SIGKILL}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.signal);
    fs::remove(dir.File("edited-path"));
    EXPECT_EQ(Edit(OwnEditor("make.sh", make + row.end)).signal, row.signal);
    const std::string folder = EditFolder();
    // A killed run's folder goes with the next edit.
    if (row.signal == SIGKILL) {
      EXPECT_TRUE(fs::exists(folder + "/backup/deeper/copy"));
      EXPECT_EQ(Edit().status, 0);
    }
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(ReadFile(dir.File("outside/kept")), "kept");
  }
}

// vim, told by its vimrc to keep every copy it can, keeps none.
TEST_F(CleanupE2eTest, VimKeepsNoCopyOfTheText) {
  if (std::system("command -v vim >/dev/null 2>&1") != 0) GTEST_SKIP() << "vim is not installed";
  const std::string copies = dir.File("home/copies");
  fs::create_directories(copies);
  WriteFile(dir.File("home/.vimrc"), "set swapfile directory=" + copies + "// backup writebackup backupdir=" +
                                         copies + " undofile undodir=" + copies + " viminfofile=" + copies +
                                         "/viminfo\nautocmd VimEnter * call append(0, '') | wq\n");
  e2e::PtySession vim(Args(kEdit), Env(Editing("vim", {{"HOME", dir.File("home")}, {"TERM", "xterm"}})));
  EXPECT_EQ(vim.Wait().status, 0);
  EXPECT_TRUE(fs::is_empty(copies));
}

// A log that is a link, or a second name of a file in a folder others may
// write to, is not written: kelvox says so once and goes on (with the
// user's own log). The log in use is never handed to the editor.
TEST_F(CleanupE2eTest, TheLogFollowsNoLinkAndNeverReachesTheEditor) {
  WriteFile(dir.File("victim"), "untouched\n");
  fs::create_directories(dir.File("shared"));
  fs::permissions(dir.File("shared"), fs::all_all | fs::sticky_bit);
  fs::create_symlink(dir.File("victim"), dir.File("shared/link.log"));
  fs::create_symlink(dir.File("victim"), dir.File("link.log"));
  fs::create_hard_link(dir.File("victim"), dir.File("shared/hard.log"));
  const std::string editor = OwnEditor("fds.sh", "ls -l /proc/$$/fd/ > " + dir.File("fds"));
  const struct Row { const char* log; bool refused; } rows[] = {
      {"shared/link.log", true}, {"link.log", true}, {"shared/hard.log", true}, {"kelvox.log", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.log);
    WriteConfig({{"LOG_FILE", dir.File(row.log)}});
    const Finished run = Edit(editor);
    EXPECT_EQ(run.status, 0) << run.error;
    const std::size_t told = run.error.find(" is not used");
    EXPECT_EQ(run.error.find("log " + dir.File(row.log) + " is not used") != std::string::npos, row.refused) << run.error;
    EXPECT_EQ(run.error.find(" is not used", told + 1), std::string::npos) << run.error;
    EXPECT_EQ(ReadFile(dir.File("victim")), "untouched\n");
    // Neither the log asked for, nor what it links to, nor the user's own log
    // (the test runner's descriptors may be there too).
    const std::string fds = ReadFile(dir.File("fds"));
    for (const std::string& log : {dir.File(row.log), dir.File("victim"), std::string("kelvox.log")}) {
      EXPECT_EQ(fds.find(log), std::string::npos) << fds;
    }
  }
}

// A temporary a killed writer left beside an output file or a store
// (named, as on any run, with its writer's process id) goes with the next
// write of that file, created or replaced; one whose writer still runs
// stays. One named without an id (by an earlier version) goes only from
// beside a store, whose temporaries are made under the writers' lock.
TEST_F(CleanupE2eTest, AWriteRemovesTheDeadTemporariesOfItsFileOnly) {
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
  const std::string out = dir.File("out.json"), store = dir.File("settings.store");
  WriteFile(dir.File("v"), "1");
  const std::vector<std::string> decrypt = {"decrypt", "--type", "settings", "--unattended", "--output", out};
  std::vector<std::string> replace = decrypt;
  replace.push_back("--force");
  const struct Row { const char* what; std::string file; std::vector<std::string> args; bool locked; } rows[] = {
      {"an output created", out, decrypt, false},
      {"an output replaced", out, replace, false},
      {"a store rewritten", store, {"set", "--type", "settings", "--key", "k", "--value-from", dir.File("v"), "--unattended", "--quiet"}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string dead = dir.File(platform::TempName(row.file, gone));
    const std::string live = dir.File(platform::TempName(row.file, getpid()));
    const std::string unnamed = dir.File(platform::TempNamePrefix(row.file) + std::string(platform::kTempRandomSize, 'a'));
    for (const std::string& temporary : {dead, live, unnamed}) WriteFile(temporary, "plaintext");
    EXPECT_EQ(Run(row.args).status, 0);
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_NE(fs::exists(unnamed), row.locked);
    fs::remove(live);
    fs::remove(unnamed);
  }
}

}  // namespace
