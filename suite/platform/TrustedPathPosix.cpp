// TrustedPath.h on POSIX systems: the path is walked from the root one
// entry at a time, as the system would resolve it, so every link on the
// way is seen and judged before it is followed.
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "suite/platform/TrustedPath.h"

namespace platform {
namespace {

constexpr mode_t kOthersMayWrite = 0022;
constexpr uid_t kRootUser = 0;
// As many links as the system itself follows in one path.
constexpr int kMaxLinksFollowed = 40;

// One folder of the walk, with its status.
struct WalkedFolder {
  std::string path;
  struct stat status;
};

std::string QuotePath(const std::string& path) { return "'" + path + "'"; }

bool IsOwnedByTrusted(const struct stat& status) {
  return status.st_uid == kRootUser || status.st_uid == ::geteuid();
}

// Splits `path` at its slashes into `parts`, after what is there already.
void AppendParts(const std::string& path, std::deque<std::string>& parts, bool in_front) {
  std::vector<std::string> split;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = path.find('/', start);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    if (end > start) split.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  if (in_front) {
    parts.insert(parts.begin(), split.begin(), split.end());
  } else {
    parts.insert(parts.end(), split.begin(), split.end());
  }
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// Why the folders of `chain`, read from the last upwards to the first one
// root owns, may not hold what we trust; empty when they may.
std::string DistrustOfChain(const std::vector<WalkedFolder>& chain) {
  for (auto folder = chain.rbegin(); folder != chain.rend(); ++folder) {
    const struct stat& status = folder->status;
    if (!IsOwnedByTrusted(status)) {
      return "its folder " + QuotePath(folder->path) + " is owned by another user (uid " +
             std::to_string(status.st_uid) + ")";
    }
    if ((status.st_mode & kOthersMayWrite) != 0 && (status.st_mode & S_ISVTX) == 0) {
      return "its folder " + QuotePath(folder->path) + " is writable by group or others";
    }
    if (status.st_uid == kRootUser) break;
  }
  return {};
}

// Why the existing last entry with `status` may not be trusted; empty when
// it may.
std::string DistrustOfEntry(const struct stat& status) {
  if (!IsOwnedByTrusted(status)) {
    return "it is owned by another user (uid " + std::to_string(status.st_uid) + ")";
  }
  if (!S_ISDIR(status.st_mode) && (status.st_mode & kOthersMayWrite) != 0) {
    return "it is writable by group or others";
  }
  return {};
}

}  // namespace

FileResult CheckTrustedPath(const std::string& path, LastLink last_link, std::string* resolved) {
  const auto refuse = [&path](const std::string& check) {
    return FileResult(FileResult::kUntrusted, QuotePath(path) + " refused: " + check);
  };
  std::deque<std::string> parts;
  if (path.empty() || path[0] != '/') {
    const std::unique_ptr<char, decltype(&std::free)> here(::getcwd(nullptr, 0), &std::free);
    if (here == nullptr) return refuse("the current folder cannot be named");
    AppendParts(here.get(), parts, false);
  }
  AppendParts(path, parts, false);
  std::vector<WalkedFolder> chain(1);
  chain[0].path = "/";
  if (::lstat("/", &chain[0].status) != 0) return refuse("the root folder cannot be examined");
  int links = 0;
  while (!parts.empty()) {
    const std::string part = parts.front();
    parts.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      if (chain.size() > 1) chain.pop_back();
      continue;
    }
    const bool last = parts.empty();
    const std::string here = JoinPath(chain.back().path, part);
    struct stat status;
    if (::lstat(here.c_str(), &status) != 0) {
      // Missing (to be made by the caller in trusted folders), or a folder
      // we may not search: the open that follows reports that.
      if (const std::string fault = DistrustOfChain(chain); !fault.empty()) return refuse(fault);
      if (resolved != nullptr) {
        *resolved = here;
        for (const std::string& rest : parts) *resolved = JoinPath(*resolved, rest);
      }
      return FileResult::kOk;
    }
    if (S_ISLNK(status.st_mode)) {
      if (last && last_link == LastLink::kRefused) return refuse("it is a symbolic link");
      if (const std::string fault = DistrustOfChain(chain); !fault.empty()) return refuse(fault);
      if (!IsOwnedByTrusted(status)) {
        return refuse("the symbolic link " + QuotePath(here) + " is owned by another user");
      }
      if (++links > kMaxLinksFollowed) {
        return {FileResult::kBadPath, "path " + QuotePath(path) + " is a loop of symbolic links"};
      }
      std::string target(PATH_MAX, '\0');
      const ssize_t size = ::readlink(here.c_str(), target.data(), target.size());
      if (size <= 0 || static_cast<std::size_t>(size) >= target.size()) {
        return refuse("the symbolic link " + QuotePath(here) + " cannot be read");
      }
      target.resize(static_cast<std::size_t>(size));
      if (target[0] == '/') chain.resize(1);
      AppendParts(target, parts, true);
      continue;
    }
    if (S_ISDIR(status.st_mode)) {
      chain.push_back({here, status});
      continue;
    }
    if (!last) break;  // a file used as a folder: the open reports it
    if (const std::string fault = DistrustOfChain(chain); !fault.empty()) return refuse(fault);
    if (const std::string fault = DistrustOfEntry(status); !fault.empty()) return refuse(fault);
    if (resolved != nullptr) *resolved = here;
    return FileResult::kOk;
  }
  // The path names a folder, or stops at something the open will report.
  if (const std::string fault = DistrustOfChain(chain); !fault.empty()) return refuse(fault);
  if (resolved != nullptr) *resolved = parts.empty() ? chain.back().path : path;
  return FileResult::kOk;
}

}  // namespace platform
