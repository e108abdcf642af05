// The platform layer's own cases (POSIX): a file swapped under its
// writers' lock, and guarded memory as the kernel maps it.
#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "suite/platform/Files.h"
#include "suite/platform/GuardedMemory.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = boost::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

// Whoever may write the file's folder swaps the file, between the locked
// read and the replace, for a link to a file of theirs or another file: the
// rewrite fails and writes through nothing.
TEST(LockedFileTest, AFileSwappedUnderTheLockIsNotReplaced) {
  testing_support::ScopedTempDir dir;
  const std::string path = dir.File("stores/settings.store");
  const unsigned char data[] = "new";
  fs::create_directories(dir.File("stores"));
  for (const bool link : {true, false}) {
    fs::remove(path);
    WriteFile(dir.File("victim"), "victim");
    WriteFile(path, "old");
    platform::LockedFile lock;
    std::vector<unsigned char> read;
    ASSERT_EQ(platform::LockAndReadFile(path, 100, lock, read), platform::FileResult::kOk);
    if (link) fs::create_symlink(dir.File("victim"), dir.File("swap"));
    if (!link) WriteFile(dir.File("swap"), "swapped");
    fs::rename(dir.File("swap"), path);
    EXPECT_EQ(platform::ReplaceLockedFile(lock, data, 3), platform::FileResult::kChanged);
    EXPECT_EQ(ReadFile(dir.File("victim")), "victim");
    EXPECT_EQ(ReadFile(path), link ? "victim" : "swapped");
  }
}

// A mapping of the process as /proc/self/smaps lists it.
struct Mapping {
  std::uintptr_t start = 0, end = 0;
  std::string access;  // "rw-p", "---p", ...
  bool left_out_of_dumps = false;
};

std::vector<Mapping> Mappings() {
  std::vector<Mapping> mappings;
  std::ifstream smaps("/proc/self/smaps");
  for (std::string line; std::getline(smaps, line);) {
    Mapping m;
    char access[5] = {};
    if (std::sscanf(line.c_str(), "%lx-%lx %4s ", &m.start, &m.end, access) == 3) {
      m.access = access;
      mappings.push_back(m);
    } else if (!mappings.empty() && line.rfind("VmFlags:", 0) == 0) {
      mappings.back().left_out_of_dumps = line.find(" dd") != std::string::npos;
    }
  }
  return mappings;
}

// Guarded memory, small (a mapping of its own) and large (pages of a heap
// block): the bytes lie in pages of their own, left out of core dumps,
// between two inaccessible pages, and locked away they are inaccessible too.
TEST(GuardedMemoryTest, BytesHavePagesOfTheirOwnBetweenGuardsLeftOutOfDumps) {
  if (Mappings().empty()) GTEST_SKIP() << "no /proc/self/smaps";
  ASSERT_GE(sodium_init(), 0);  // the guarded memory is libsodium's
  for (const std::size_t size : {std::size_t{1}, std::size_t{32}, std::size_t{4096}, std::size_t{3} << 20}) {
    SCOPED_TRACE(size);
    platform::GuardedMemory memory;
    ASSERT_TRUE(memory.Allocate(size));
    std::fill(memory.data(), memory.data() + size, 0xA5);
    const auto first = reinterpret_cast<std::uintptr_t>(memory.data());
    const auto find = [&](auto wanted) {
      const std::vector<Mapping> all = Mappings();
      const auto it = std::find_if(all.begin(), all.end(), wanted);
      return it != all.end() ? *it : Mapping{};
    };
    const Mapping bytes = find([&](const Mapping& m) { return m.start <= first && first < m.end; });
    EXPECT_EQ(bytes.access, "rw-p");
    EXPECT_GE(bytes.end, first + size);
    EXPECT_TRUE(bytes.left_out_of_dumps);
    EXPECT_EQ(find([&](const Mapping& m) { return m.end == bytes.start; }).access, "---p");
    EXPECT_EQ(find([&](const Mapping& m) { return m.start == bytes.end; }).access, "---p");
    ASSERT_TRUE(memory.SetAccess(false));
    EXPECT_EQ(find([&](const Mapping& m) { return m.start <= first && first < m.end; }).access, "---p");
    ASSERT_TRUE(memory.SetAccess(true));
    EXPECT_EQ(std::count(memory.data(), memory.data() + size, 0xA5), static_cast<std::ptrdiff_t>(size));
  }
}
}  // namespace
