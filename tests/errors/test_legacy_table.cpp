// The legacy table after its fill: the groups and their exact codes, the
// quoted and shared texts, the texts it has in common with the catalogue,
// the flash prefixes, the fallback, and the invariants every text keeps.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "errors/ErrorCatalogue.h"
#include "errors/LegacyErrorTable.h"
#include "tests/errors/MessageChecks.h"

namespace {

using Table = std::map<int32_t, std::string>;

struct CodeRange {
  int32_t first;
  int32_t last;
};

struct GroupShape {
  int32_t group;
  size_t entries;
  std::vector<CodeRange> codes;
};

// The group table.
const std::vector<GroupShape> kGroups = {
    {0x06,
     184,
     {{1537, 1546}, {1552, 1559}, {1564, 1565}, {1568, 1581}, {1584, 1629}, {1631, 1658},
      {1660, 1676}, {1696, 1726}, {1728, 1742}, {1744, 1747}, {1761, 1763}, {1776, 1781}}},
    {0x08, 17, {{2049, 2065}}},
    {0x0B, 10, {{2817, 2821}, {2823, 2827}}},
    {0x0C, 13, {{3073, 3079}, {3081, 3086}}},
};

std::set<int32_t> Expand(const std::vector<CodeRange>& ranges) {
  std::set<int32_t> codes;
  for (const CodeRange& range : ranges) {
    for (int32_t code = range.first; code <= range.last; ++code) codes.insert(code);
  }
  return codes;
}

// The table, filled by a first lookup if none has happened yet.
const Table& FilledTable() {
  (void)GetLegacyErrorMessage(0x601);  // only for its fill
  return GetLegacyErrorTable();
}

std::string CatalogueText(int category, int code) {
  return GetErrorMessage(static_cast<int32_t>((static_cast<uint32_t>(category) << 16) |
                                              static_cast<uint32_t>(code)));
}

// --- Shape ---

TEST(LegacyShapeTest, GroupsHoldExactlyTheirCodes) {
  const Table& table = FilledTable();
  EXPECT_EQ(table.size(), 224u);
  for (const GroupShape& shape : kGroups) {
    SCOPED_TRACE("group " + std::to_string(shape.group));
    const std::set<int32_t> expected = Expand(shape.codes);
    ASSERT_EQ(expected.size(), shape.entries);  // the ranges agree with the count
    std::set<int32_t> found;
    for (const auto& [code, text] : table) {
      if (code >> 8 == shape.group) found.insert(code);
    }
    EXPECT_EQ(found, expected);
  }
}

TEST(LegacyShapeTest, EveryCodeHasAGroupAndNoCategoryBits) {
  for (const auto& [code, text] : FilledTable()) {
    EXPECT_NE(code & 0xFF00, 0) << code;
    EXPECT_EQ(code >> 16, 0) << code;
    EXPECT_NE(code & 0xFF, 0) << code;  // numbers count from 1 within a group
  }
}

TEST(LegacyShapeTest, CodesOutsideTheTableFallBack) {
  for (int32_t code : {2822, 3080, 0x700, 0x600, 1547, 1782, 2066, 3087}) {
    EXPECT_EQ(GetLegacyErrorMessage(code), "Unknown error") << code;
  }
  // Category 1, second byte 6, number 1: routed here, and not a key.
  EXPECT_EQ(GetErrorMessage(0x10601), "Unknown error");
}

// --- Quoted and shared texts ---

TEST(LegacyTextTest, QuotedTextsStandByteForByte) {
  const std::vector<std::pair<int32_t, std::string>> quoted = {
      {1537, "Update query module error: given ID is not found in the query package results."},
      {1569, " Failed to upload update package to online VMWare ESXi."},
      {1724, "Failed to update due to ESXi  service not ready."},
      {1660, "Failed to transfer update package to sftp server"},
      {1565, "Invalid parameter."},
      {1568, "Failed to read file."},
      {1570, "Failed to write file."},
      {1762, "Failed to reboot host system."},
  };
  const Table& table = FilledTable();
  for (const auto& [code, text] : quoted) EXPECT_EQ(table.at(code), text) << code;
}

// Each shared text with exactly the codes that carry it.
const std::map<std::string, std::vector<CodeRange>> kSharedTexts = {
    {"Failed to update due to CMM internal error.",
     {{1553, 1556}, {1558, 1559}, {1633, 1633}, {1637, 1638}, {1640, 1640}, {1643, 1644},
      {1646, 1646}, {1648, 1648}, {1650, 1658}}},
    {"Failed to update due to ESXI internal error.", {{1572, 1572}, {1576, 1579}}},
    {"Timeout happens when installing package.",
     {{1557, 1557}, {1581, 1581}, {1639, 1639}, {1647, 1647}}},
    {"Failed to update due to BMC internal error.",
     {{1667, 1667}, {1676, 1676}, {1714, 1719}, {1725, 1725}, {1777, 1777}}},
    {"\"--sftp\" parameter is mandatory to update the target system. Please add it and retry.",
     {{1674, 1675}}},
    {"Failed to update due to ESXi CIM service not ready.", {{1722, 1723}}},
    {"Failed to detect device driver information.", {{1744, 1745}}},
    {"Network error.", {{2061, 2062}}},
    {"No applicable hardware component found.", {{1542, 1542}, {1666, 1666}}},
    {"Update doesn't take effect after successful flash.", {{1544, 1544}, {1634, 1634}}},
    {"Failed to connect to CMM CIM service.", {{1552, 1552}, {1632, 1632}}},
    {"Another update is in progress.", {{1649, 1649}, {1668, 1668}}},
    {"Failed to update due to this package doesn't support remote update via BMC.",
     {{1661, 1661}, {1761, 1761}}},
    {"Failed to connect to Maintenance Mode OS.", {{1730, 1730}, {1732, 1732}}},
};

TEST(LegacyTextTest, SharedTextsBelongToExactlyTheirCodes) {
  std::map<std::string, std::set<int32_t>> users;
  for (const auto& [code, text] : FilledTable()) users[text].insert(code);
  for (const auto& [text, ranges] : kSharedTexts) {
    EXPECT_EQ(users[text], Expand(ranges)) << text;
  }
  // No text outside that list is shared.
  for (const auto& [text, codes] : users) {
    if (codes.size() > 1) {
      EXPECT_EQ(kSharedTexts.count(text), 1u) << text;
    }
  }
}

TEST(LegacyTextTest, TextsSharedWithTheCatalogueAreEqual) {
  const Table& table = FilledTable();
  const std::vector<std::pair<int32_t, std::pair<int, int>>> pairs = {
      {1565, {0, 5}},    {1568, {0, 10}},   {1570, {0, 11}},   {1762, {0, 23}},
      {1542, {0, 28}},   {1666, {0, 28}},   {1544, {1, 124}},  {1634, {1, 124}},
      {1629, {1, 123}},  {1704, {1, 120}},  {1729, {1, 115}},  {1738, {1, 114}},
  };
  std::set<int32_t> listed;
  for (const auto& [legacy, entry] : pairs) {
    const std::string text = CatalogueText(entry.first, entry.second);
    EXPECT_NE(text, "Unknow error") << legacy;
    EXPECT_EQ(table.at(legacy), text) << legacy;
    listed.insert(legacy);
  }

  // No other code borrows a catalogue text, apart from the LAN-over-USB group.
  std::set<std::string> catalogue_texts;
  for (const auto& [key, text] : ErrorRegistry::GetCommonMap()) catalogue_texts.insert(text);
  for (const auto& [category, map] : ErrorRegistry::GetCategoryMap()) {
    for (const auto& [key, text] : map) catalogue_texts.insert(text);
  }
  for (const auto& [code, text] : table) {
    if (listed.count(code) == 0 && code >> 8 != 0x0B) {
      EXPECT_EQ(catalogue_texts.count(text), 0u) << code << ": " << text;
    }
  }
}

TEST(LegacyTextTest, LanOverUsbGroupIsCategoryTenReversed) {
  const std::vector<std::pair<int32_t, std::string>> quoted = {
      {2817, "Invalid IP address."},
      {2818, "IP network segment of Lan Over USB host side and BMC side conflict."},
      {2819, "BMC Lan over USB device is enabled."},
      {2820, "BMC Lan over USB device is disabled."},
      {2821, "BMC Lan over USB device conflict."},
      {2823, "No BMC Lan over USB device detected."},
      {2824, "BMC Lan over USB node number is out of range."},
      {2825, "Failed to change BMC lan over USB device status."},
      {2826, "BMC Lan Over USB device driver is not detected."},
      {2827, "Failed to config LAN-over-USB device with non-administrator user."},
  };
  const Table& table = FilledTable();
  int category_code = 125;  // the codes run the other way in category 10
  for (const auto& [code, text] : quoted) {
    EXPECT_EQ(table.at(code), text) << code;
    EXPECT_EQ(CatalogueText(10, category_code), text) << code;
    --category_code;
  }
}

// --- Flash prefixes ---

TEST(LegacyTextTest, OutOfBandFlashTextsShareTheirPrefix) {
  const std::string prefix = "Update flash module error using OOB flash: ";
  const Table& table = FilledTable();
  for (int32_t code = 1670; code <= 1673; ++code) {
    const std::string& text = table.at(code);
    EXPECT_EQ(text.rfind(prefix, 0), 0u) << code;
    EXPECT_GT(text.size(), prefix.size() + 1) << code;
  }
}

TEST(LegacyTextTest, InBandFlashTextsShareOnePrefixNamingTheUtility) {
  const Table& table = FilledTable();
  std::string prefix = table.at(1584);
  for (int32_t code = 1585; code <= 1628; ++code) {
    const std::string& text = table.at(code);
    size_t common = 0;
    while (common < prefix.size() && common < text.size() && prefix[common] == text[common]) {
      ++common;
    }
    prefix.resize(common);
  }
  // The prefix ends at its colon; what follows is each code's own cause.
  const size_t colon = prefix.rfind(": ");
  ASSERT_NE(colon, std::string::npos) << prefix;
  prefix.resize(colon + 2);
  EXPECT_NE(prefix.find("in-band"), std::string::npos) << prefix;
  EXPECT_NE(prefix.find("flash utility"), std::string::npos) << prefix;

  std::set<std::string> causes;
  for (const auto& [code, text] : table) {
    const bool in_range = code >= 1584 && code <= 1628;
    EXPECT_EQ(text.rfind(prefix, 0) == 0, in_range) << code;
    if (in_range) causes.insert(text.substr(prefix.size()));
  }
  EXPECT_EQ(causes.size(), 45u);
  EXPECT_EQ(causes.count(""), 0u);
}

// --- Invariants of every text ---

TEST(LegacyTextTest, EveryTextIsARealLine) {
  using errors_testing::HasControlCharacter;
  using errors_testing::HasOuterBlank;
  using errors_testing::LooksLikePlaceholder;
  for (const auto& [code, text] : FilledTable()) {
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_FALSE(LooksLikePlaceholder(text)) << code << ": " << text;
    EXPECT_FALSE(HasControlCharacter(text)) << code;
    if (code != 1569) {
      EXPECT_FALSE(HasOuterBlank(text)) << code << ": " << text;
    }
  }
}

}  // namespace
