// The result codes, checked by their structure: the catalogue list and the
// legacy table are walked, never retyped. Each case stands alone: the
// legacy table fills at a process's first lookup, which each case makes.
#include <gtest/gtest.h>

#include <cstdint>
#include <latch>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "errors/ErrorCatalogue.h"
#include "errors/LegacyErrorTable.h"

namespace {

constexpr char kRegistryFallback[] = "Unknow error";
constexpr char kLegacyFallback[] = "Unknown error";
constexpr int32_t kLanOverUsbGroup = 0x0B;
constexpr int kLanOverUsbCategory = 10;

struct Entry { const char* name; uint32_t constant; int category; const char* message; };

// The list as written, with the constants this unit's include initialised.
const std::vector<Entry>& Listed() {
  static const std::vector<Entry> entries = {
#define KELVOX_ERROR(name, category, code, message) {#name, name, category, message},
#include "errors/ErrorCatalogue.def"
#undef KELVOX_ERROR
  };
  return entries;
}

int32_t Composite(int category, int code) {
  return static_cast<int32_t>((static_cast<uint32_t>(category) << 16) | static_cast<uint32_t>(code));
}

// Lookups read the list itself until something asks for the maps (here,
// a process of its own, nothing has): both must answer alike, for listed
// codes, codes under no entry, and a code asked for under another category.
TEST(RegistryTest, ListAndMapsAnswerAlike) {
  std::vector<std::pair<uint32_t, int>> probes = {{0xFF, 0}, {Composite(5, 125), 5}, {Composite(-1, 1), -1}};
  for (const Entry& entry : Listed()) {
    const int category = static_cast<int32_t>(entry.constant) >> 16;
    probes.emplace_back(entry.constant, category);
    probes.emplace_back(entry.constant, category + 1);
  }
  std::vector<std::string> before;
  for (const auto& [code, category] : probes) before.push_back(ErrorRegistry::GetMessage(code, category));
  ErrorRegistry::GetCommonMap();
  for (size_t i = 0; i < probes.size(); ++i) {
    EXPECT_EQ(ErrorRegistry::GetMessage(probes[i].first, probes[i].second), before[i]) << probes[i].first;
  }
}

TEST(LegacyTableTest, ConcurrentFirstLookupsAgreeWithSerialLookups) {
  const std::map<int32_t, std::string>& table = GetLegacyErrorTable();
  std::vector<int32_t> codes;  // every group, hits and misses
  for (int32_t code = 0x600; code < 0xD00; code += 5) codes.push_back(code);
  constexpr int kThreads = 8;
  std::vector<std::vector<std::string>> seen(kThreads);
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int32_t code : codes) seen[t].push_back(GetLegacyErrorMessage(code));
    });
  }
  for (std::thread& thread : threads) thread.join();
  const size_t filled = table.size();
  ASSERT_GT(filled, 0u);
  for (size_t i = 0; i < codes.size(); ++i) {
    const std::string serial = GetLegacyErrorMessage(codes[i]);
    const auto it = table.find(codes[i]);
    EXPECT_EQ(serial, it != table.end() ? it->second : kLegacyFallback) << codes[i];
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(seen[t][i], serial) << codes[i];
  }
  EXPECT_EQ(table.size(), filled);
}

// Every entry of every category, as a command's result carries it: its
// constant holds its category, and GetErrorMessage routes it to its text
// (a number with a bit of 8-15 set would reach the legacy table instead).
TEST(CatalogueTest, NamesAndConstantsAreUniqueAndEachCodeReadsItsOwnText) {
  std::set<std::string> names;
  std::set<uint32_t> constants;
  for (const Entry& entry : Listed()) {
    EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
    EXPECT_TRUE(constants.insert(entry.constant).second) << entry.name;
    EXPECT_EQ(static_cast<int32_t>(entry.constant) >> 16, entry.category) << entry.name;
    EXPECT_EQ(GetErrorMessage(static_cast<int32_t>(entry.constant)), entry.message) << entry.name;
  }
}

TEST(RoutingTest, GroupBitsPickTheSchemeAndEachSchemeHasItsFallback) {
  // Any bit of 8-15 sends a code to the legacy table, even one registered.
  ASSERT_EQ(ErrorRegistry::Register(0, 0x601, "registered"), 0x601u);
  EXPECT_EQ(GetErrorMessage(0x601), GetLegacyErrorMessage(0x601));
  EXPECT_EQ(ErrorRegistry::GetMessage(0x601, 0), "registered");
  ErrorRegistry::GetCommonMap().erase(0x601);
  for (int bit = 8; bit < 16; ++bit) EXPECT_EQ(GetErrorMessage(1 << bit), kLegacyFallback);
  EXPECT_EQ(GetErrorMessage(Composite(1, 0x601)), kLegacyFallback);
  // Codes without group bits stay in the registry, found under their category only.
  EXPECT_EQ(GetErrorMessage(0xFF), kRegistryFallback);
  EXPECT_EQ(GetErrorMessage(Composite(5, 125)), kRegistryFallback);
  for (const auto& [category, map] : ErrorRegistry::GetCategoryMap())
    EXPECT_EQ(GetErrorMessage(map.begin()->first & 0xFFFF), kRegistryFallback) << category;
}

TEST(LegacyTableTest, CodesCarryAGroupAndTheLanOverUsbGroupMirrorsItsCategory) {
  // The gaps of the table; the first lookup fills it.
  for (int32_t code : {0x600, 0x700, 2822, 3080}) EXPECT_EQ(GetLegacyErrorMessage(code), kLegacyFallback) << code;
  std::vector<std::string> lan_over_usb;
  for (const auto& [code, text] : GetLegacyErrorTable()) {
    EXPECT_TRUE((code & 0xFF00) != 0 && code >> 16 == 0 && (code & 0xFF) != 0) << code;
    EXPECT_FALSE(text.empty()) << code;
    if (code >> 8 == kLanOverUsbGroup) lan_over_usb.push_back(text);
  }
  // The group lists the category's texts in the opposite order of codes.
  std::vector<std::string> category;
  for (const auto& [code, text] : ErrorRegistry::GetCategoryMap().at(kLanOverUsbCategory)) category.insert(category.begin(), text);
  EXPECT_EQ(lan_over_usb, category);
}

}  // namespace
