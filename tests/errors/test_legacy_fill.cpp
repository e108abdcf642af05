// The legacy table's one-time fill: empty until the first lookup, filled
// exactly once when several threads make the first lookup together. This
// file holds one case so that no earlier lookup fills the table first.
#include <gtest/gtest.h>

#include <cstdint>
#include <latch>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "errors/LegacyErrorTable.h"

namespace {

TEST(LegacyFillTest, ConcurrentFirstLookupsFillTheTableOnce) {
  const std::map<int32_t, std::string>& table = GetLegacyErrorTable();
  ASSERT_TRUE(table.empty());

  const std::vector<std::pair<int32_t, std::string>> lookups = {
      {1537, "Update query module error: given ID is not found in the query package results."},
      {1569, " Failed to upload update package to online VMWare ESXi."},
      {1660, "Failed to transfer update package to sftp server"},
      {1724, "Failed to update due to ESXi  service not ready."},
      {2061, "Network error."},
      {2817, "Invalid IP address."},
      {2822, "Unknown error"},
      {3080, "Unknown error"},
  };
  std::vector<std::string> results(lookups.size());
  std::latch start(static_cast<std::ptrdiff_t>(lookups.size()));
  std::vector<std::thread> threads;
  for (size_t i = 0; i < lookups.size(); ++i) {
    threads.emplace_back([&, i] {
      start.arrive_and_wait();
      results[i] = GetLegacyErrorMessage(lookups[i].first);
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (size_t i = 0; i < lookups.size(); ++i) {
    EXPECT_EQ(results[i], lookups[i].second) << lookups[i].first;
  }
  ASSERT_EQ(table.size(), 224u);

  EXPECT_EQ(GetLegacyErrorMessage(2049), table.at(2049));
  EXPECT_EQ(table.size(), 224u);
}

}  // namespace
