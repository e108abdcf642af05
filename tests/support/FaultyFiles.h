// A file layer for crash tests, over the system's (platform::FileSystem).
// It counts the steps of every write, the order the real layer takes them
// in (a temporary written, synced, renamed or linked to its name, the
// folder synced; a file unlinked, the folder synced), and can fail one of
// them as the system would, or crash at one: that step and every call after
// it fail and change nothing, and Reboot() then drops what a crash of the
// machine would: the bytes of a file that was not synced, and a rename,
// link or unlink whose folder was not synced after it (the temporary stays,
// the worst case for the next writer's cleanup). An append or an in-place
// rewrite is one step, its write, never synced: a crash there leaves half
// of an append's bytes (a process killed inside its write) and none of a
// rewrite's, and Reboot puts back what such a file held before. The rest
// is the system's layer: reads and locks, which change nothing on disk,
// also after a crash; but a writers' lock, whose taking removes dead
// temporaries, is refused then. Temporaries are named as the real layer
// names them, by a writer that is gone. Links at the paths are not
// followed. One thread.
#ifndef TESTS_SUPPORT_FAULTYFILES_H_
#define TESTS_SUPPORT_FAULTYFILES_H_

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "suite/platform/FileNames.h"
#include "suite/platform/FileSystem.h"
#include "suite/platform/OwnerOnly.h"
#include "tests/support/TestSupport.h"

namespace testing_support {

class FaultyFiles : public platform::FileSystem {
 public:
  using FileResult = platform::FileResult;
  using Path = boost::filesystem::path;

  // From now on: count the steps from 0, with no fault; crash at step
  // `step` (1 the first); fail step `step`.
  void Count() { Arm(0, false); }
  void CrashAt(int step) { Arm(step, true); }
  void FailAt(int step) { Arm(step, false); }
  int Steps() const { return steps; }

  // Writes `bytes` as a new owner-only file at `path` (on Windows that is an
  // access list, which permissions() cannot give), then sets `access` (on
  // Windows only the read-only flag). Nothing else in the folder changes.
  static void PutFile(const Path& path, const std::string& bytes,
                      boost::filesystem::perms access = boost::filesystem::owner_read |
                                                        boost::filesystem::owner_write) {
    if (!platform::CreateOwnerOnlyFile(path.string())) {
      throw std::runtime_error("cannot make " + path.string());
    }
    WriteFile(path.string(), bytes);
    permissions(path, access);
  }

  // Applies the crash, if there was one, to the disk; then counts anew.
  void Reboot() {
    for (const Path& file : crashed ? unsynced : std::set<Path>{}) {
      if (exists(file)) resize_file(file, 0);
    }
    for (auto before = undone.rbegin(); crashed && before != undone.rend(); ++before) {
      remove(before->path);
      if (before->bytes) PutFile(before->path, *before->bytes, before->access);
    }
    for (auto file = in_place.begin(); crashed && file != in_place.end(); ++file) {
      remove(file->first);
      if (file->second) PutFile(file->first, *file->second);
    }
    unsynced.clear();
    undone.clear();
    Count();
  }

  FileResult LockAndReadFile(const std::string& path, std::size_t max_size,
                             platform::LockedFile& lock,
                             std::vector<unsigned char>& contents) override {
    locked[&lock] = path;
    if (crashed) return FileResult::kFailed;
    return FileSystem::LockAndReadFile(path, max_size, lock, contents);
  }
  FileResult CreateLockedFile(platform::LockedFile& lock, const unsigned char* data,
                              std::size_t size) override {
    return Place(locked.at(&lock), data, size, false, false);
  }
  FileResult ReplaceLockedFile(platform::LockedFile& lock, const unsigned char* data,
                               std::size_t size) override {
    return Place(locked.at(&lock), data, size, true, true);
  }
  FileResult CreateFileAtomically(const std::string& path, const unsigned char* data,
                                  std::size_t size, bool make_folders) override {
    if (make_folders && !crashed) create_directories(Path(path).parent_path());
    return Place(path, data, size, false, false);
  }
  FileResult ReplaceFileAtomically(const std::string& path, const unsigned char* data,
                                   std::size_t size, platform::Replacement how) override {
    return Place(path, data, size, true, how == platform::Replacement::kKeepAccess);
  }
  FileResult AppendToFile(const std::string& path, const unsigned char* data,
                          std::size_t size) override {
    return WriteInPlace(path, data, size, true);
  }
  FileResult RewriteSmallFile(const std::string& path, const unsigned char* data,
                              std::size_t size) override {
    return WriteInPlace(path, data, size, false);
  }
  FileResult RemoveFile(const std::string& path) override {
    if (!crashed && !exists(Path(path))) return FileSystem::RemoveFile(path);  // kNotFound
    if (Next() != Fate::kGoOn) return FileResult::kFailed;                // unlinked
    Remember(path);
    remove(Path(path));
    // Unlike a write, a removal whose folder cannot be synced fails.
    if (Next() != Fate::kGoOn) return FileResult::kFailed;  // the folder synced
    Synced(Path(path).parent_path());
    return FileResult::kOk;
  }

 private:
  enum class Fate { kGoOn, kFail, kCrash };
  // An entry as it was before a change its folder was not synced after:
  // its bytes and access, or nothing there.
  struct Before {
    Path path;
    std::optional<std::string> bytes;
    boost::filesystem::perms access;
  };
  // A process id no system hands out: the writer of the temporaries left
  // here is gone, as a killed one would be.
  static constexpr std::uint32_t kGoneWriter = 2147483646;

  void Arm(int step, bool crash_there) {
    steps = 0;
    fault = step;
    crash = crash_there;
    crashed = false;
    in_place.clear();
  }
  // The fate of the next step; a crash lasts.
  Fate Next() {
    if (crashed) return Fate::kCrash;
    if (++steps != fault) return Fate::kGoOn;
    crashed = crash;
    return crash ? Fate::kCrash : Fate::kFail;
  }
  void Remember(const Path& path) {
    if (!exists(path)) return undone.push_back({path, std::nullopt, boost::filesystem::no_perms});
    undone.push_back({path, ReadFile(path.string()), status(path).permissions()});
  }
  // What changed in `folder` is durable now.
  void Synced(const Path& folder) {
    std::erase_if(undone, [&folder](const Before& before) {
      return before.path.parent_path() == folder;
    });
  }
  // The steps of a write into place at `path`: an existing file is replaced
  // only with `replace` (else kExists), its access kept with `keep_access`
  // (else the new file is owner-only).
  FileResult Place(const std::string& path, const unsigned char* data, std::size_t size,
                   bool replace, bool keep_access) {
    const Path target(path);
    const Path temp = target.parent_path() / platform::TempName(path, kGoneWriter);
    const auto give_up = [&](FileResult result) {
      if (!crashed) remove(temp);  // a live writer removes its temporary
      return result;
    };
    if (Next() != Fate::kGoOn) return FileResult::kFailed;  // the temporary, written
    PutFile(temp, std::string(reinterpret_cast<const char*>(data), size),
            keep_access && exists(target)
                ? status(target).permissions()
                : boost::filesystem::owner_read | boost::filesystem::owner_write);
    unsynced.insert(temp);
    if (Next() != Fate::kGoOn) return give_up(FileResult::kFailed);  // synced
    unsynced.erase(temp);
    if (Next() != Fate::kGoOn) return give_up(FileResult::kFailed);  // renamed or linked
    if (!replace && exists(target)) return give_up(FileResult::kExists);
    Remember(temp);
    Remember(target);
    rename(temp, target);
    // The real layer ignores a failed sync of the folder: the file is in place.
    const Fate sync = Next();
    if (sync == Fate::kGoOn) Synced(target.parent_path());
    return sync == Fate::kCrash ? FileResult::kFailed : FileResult::kOk;
  }

  // The one step of an append (`append`) or a rewrite in place.
  FileResult WriteInPlace(const std::string& path, const unsigned char* data, std::size_t size,
                          bool append) {
    const bool gone = crashed;
    const Fate fate = Next();
    if (gone || fate == Fate::kFail || (fate == Fate::kCrash && !append)) {
      return FileResult::kFailed;
    }
    const Path file(path);
    if (!in_place.contains(file)) {
      in_place[file] = exists(file) ? std::optional(ReadFile(path)) : std::nullopt;
    }
    const FileResult written = append ? FileSystem::AppendToFile(
                                            path, data, fate == Fate::kCrash ? size / 2 : size)
                                      : FileSystem::RewriteSmallFile(path, data, size);
    return fate == Fate::kCrash ? FileResult(FileResult::kFailed) : written;
  }

  int steps = 0;
  int fault = 0;  // the step to fail or crash at; 0: none
  bool crash = false;
  bool crashed = false;
  std::map<const platform::LockedFile*, std::string> locked;  // the path each was taken for
  std::set<Path> unsynced;     // files written, not synced
  std::vector<Before> undone;  // what a reboot restores, oldest first
  // What each file written in place held before (nothing: it was not there).
  std::map<Path, std::optional<std::string>> in_place;
};

}  // namespace testing_support

#endif  // TESTS_SUPPORT_FAULTYFILES_H_
