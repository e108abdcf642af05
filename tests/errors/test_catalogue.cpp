// The catalogue as the registry holds it after load: per-category counts and
// code sets, the order of the list, the constants, the quoted texts, and the
// invariants every text keeps.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "errors/ErrorCatalogue.h"
#include "tests/errors/MessageChecks.h"

namespace {

struct CodeRange {
  int first;
  int last;
};

struct CategoryShape {
  int category;
  size_t entries;
  std::vector<CodeRange> codes;
};

// The category table, in the order its blocks are listed.
const std::vector<CategoryShape> kShape = {
    {0, 66, {{0, 1}, {3, 30}, {32, 67}}},
    {4, 34, {{92, 125}}},
    {3, 5, {{121, 125}}},
    {7, 15, {{111, 125}}},
    {20, 1, {{125, 125}}},
    {18, 11, {{114, 115}, {117, 125}}},
    {24, 17, {{107, 109}, {112, 125}}},
    {1, 37, {{83, 89}, {96, 125}}},
    {2, 9, {{117, 125}}},
    {44, 5, {{121, 125}}},
    {35, 4, {{122, 125}}},
    {10, 10, {{116, 125}}},
    {58, 3, {{123, 125}}},
    {59, 19, {{86, 95}, {117, 125}}},
    {61, 4, {{122, 125}}},
};

struct Entry {
  std::string name;
  int category;
  int code;
  std::string message;
  uint32_t constant;
};

// The list as written, with the constants this unit's include initialised.
std::vector<Entry> ListedEntries() {
  return {
#define KELVOX_ERROR(name, category, code, message) {#name, category, code, message, name},
#include "errors/ErrorCatalogue.def"
#undef KELVOX_ERROR
  };
}

uint32_t Composite(int category, int code) {
  return (static_cast<uint32_t>(category) << 16) | static_cast<uint32_t>(code);
}

std::string Message(int category, int code) {
  return GetErrorMessage(static_cast<int32_t>(Composite(category, code)));
}

std::set<int32_t> ExpandCodes(const CategoryShape& shape) {
  std::set<int32_t> keys;
  for (const CodeRange& range : shape.codes) {
    for (int code = range.first; code <= range.last; ++code) {
      keys.insert(static_cast<int32_t>(Composite(shape.category, code)));
    }
  }
  return keys;
}

std::set<int32_t> KeysOf(const ErrorRegistry::MessageMap& map) {
  std::set<int32_t> keys;
  for (const auto& [key, message] : map) keys.insert(key);
  return keys;
}

// --- Shape ---

TEST(CatalogueShapeTest, RegistryHoldsEveryCategoryWithItsExactCodes) {
  EXPECT_EQ(ErrorRegistry::GetCommonMap().size(), 66u);
  const ErrorRegistry::CategoryMap& categories = ErrorRegistry::GetCategoryMap();
  EXPECT_EQ(categories.size(), 14u);
  size_t in_categories = 0;
  for (const auto& [category, map] : categories) in_categories += map.size();
  EXPECT_EQ(in_categories, 174u);

  for (const CategoryShape& shape : kShape) {
    SCOPED_TRACE("category " + std::to_string(shape.category));
    const std::set<int32_t> expected = ExpandCodes(shape);
    ASSERT_EQ(expected.size(), shape.entries);  // the ranges agree with the count
    if (shape.category == 0) {
      EXPECT_EQ(KeysOf(ErrorRegistry::GetCommonMap()), expected);
    } else {
      ASSERT_EQ(categories.count(shape.category), 1u);
      EXPECT_EQ(KeysOf(categories.at(shape.category)), expected);
    }
  }
}

TEST(CatalogueShapeTest, ListHasOneBlockPerCategoryInTheGivenOrder) {
  const std::vector<Entry> entries = ListedEntries();
  ASSERT_EQ(entries.size(), 240u);
  std::vector<int> block_order;
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& entry = entries[i];
    if (i == 0 || entries[i - 1].category != entry.category) {
      block_order.push_back(entry.category);
      // Category 0 counts up from 0, every other block down from 125.
      EXPECT_EQ(entry.code, entry.category == 0 ? 0 : 125) << entry.name;
      continue;
    }
    const int previous = entries[i - 1].code;
    if (entry.category == 0) {
      EXPECT_GT(entry.code, previous) << entry.name;
    } else {
      EXPECT_LT(entry.code, previous) << entry.name;
    }
  }
  std::vector<int> expected_order;
  for (const CategoryShape& shape : kShape) expected_order.push_back(shape.category);
  EXPECT_EQ(block_order, expected_order);
}

TEST(CatalogueShapeTest, ConstantsHoldCompositeCodesUnderUniqueNames) {
  static const std::regex kUpperSnake("ERR(_[A-Z0-9]+)+");
  std::set<std::string> names;
  for (const Entry& entry : ListedEntries()) {
    EXPECT_EQ(entry.constant, Composite(entry.category, entry.code)) << entry.name;
    EXPECT_TRUE(std::regex_match(entry.name, kUpperSnake)) << entry.name;
    EXPECT_TRUE(names.insert(entry.name).second) << "duplicate name " << entry.name;
  }
}

TEST(CatalogueShapeTest, RegisteringTheListAgainChangesNothing) {
  const ErrorRegistry::MessageMap common = ErrorRegistry::GetCommonMap();
  const ErrorRegistry::CategoryMap categories = ErrorRegistry::GetCategoryMap();
  for (const Entry& entry : ListedEntries()) {
    EXPECT_EQ(ErrorRegistry::Register(entry.category, entry.code, entry.message.c_str()),
              entry.constant);
  }
  EXPECT_EQ(ErrorRegistry::GetCommonMap(), common);
  EXPECT_EQ(ErrorRegistry::GetCategoryMap(), categories);
}

// --- Lookups ---

TEST(CatalogueLookupTest, CategoryCodesAreFoundOnlyUnderTheirCategory) {
  EXPECT_EQ(GetErrorMessage(0), "Succeed.");
  EXPECT_EQ(ErrorRegistry::GetCommonMap().count(0x10071), 0u);
  EXPECT_EQ(GetErrorMessage(0x10071), ErrorRegistry::GetCategoryMap().at(1).at(0x10071));
  EXPECT_NE(GetErrorMessage(0x10071), "Unknow error");
  EXPECT_EQ(GetErrorMessage(0x71), "Unknow error");
}

TEST(CatalogueLookupTest, CodesOutsideTheTableFallBack) {
  EXPECT_EQ(Message(0, 2), "Unknow error");
  EXPECT_EQ(Message(0, 31), "Unknow error");
  EXPECT_EQ(Message(0, 68), "Unknow error");
  EXPECT_EQ(Message(18, 116), "Unknow error");  // gap inside a category
  EXPECT_EQ(Message(24, 110), "Unknow error");
  EXPECT_EQ(Message(59, 96), "Unknow error");
  EXPECT_EQ(Message(5, 125), "Unknow error");  // category without entries
}

// --- Quoted texts ---

TEST(CatalogueTextTest, CommonTextsTheCommandReturnsStandAsQuoted) {
  const std::vector<std::pair<int, std::string>> quoted = {
      {0, "Succeed."},
      {1, "Generic Failure."},
      {5, "Invalid parameter."},
      {6, "File doesn't exist."},
      {7, "Invalid file."},
      {10, "Failed to read file."},
      {11, "Failed to write file."},
      {17, "Internal error."},
      {39, "Failed to encrypt/decrypt."},
      {40, "Fail to find the matching credential."},
      {45, "Attended or unattended mode conflict."},
      {46, "Passphrase error."},
      {47, "Interrupted by user."},
      {48, "Encrypted file is not exist."},
      {49, "Encrypted file is invalid."},
  };
  for (const auto& [code, text] : quoted) EXPECT_EQ(Message(0, code), text) << code;
}

TEST(CatalogueTextTest, IrregularCommonTextsKeepTheirIrregularities) {
  EXPECT_EQ(Message(0, 33),
            "No available USBLAN device or host IPv4 ip, Please confirm USBLAN device exists and "
            "check the USBLAN device's ipv4 protocl setting is enabled. ");
  EXPECT_EQ(Message(0, 34), "failed to update due to ESXI internal error.");
  EXPECT_EQ(Message(0, 36),
            "Failed to verify the certificate/fingerprint for the connection(s) you specified");
}

TEST(CatalogueTextTest, FixedTextsOfOtherCategories) {
  EXPECT_EQ(Message(1, 86), "Staged");
  EXPECT_EQ(Message(0, 27), "BMC internal error.");
  EXPECT_EQ(Message(4, 124), "BMC internal error.");
  EXPECT_EQ(Message(59, 95), Message(59, 124));

  const std::string curl_prefix = "Libcurl error: ";
  int curl_texts = 0;
  for (const Entry& entry : ListedEntries()) {
    if (entry.message.rfind(curl_prefix, 0) != 0) continue;
    ++curl_texts;
    EXPECT_EQ(entry.category, 2) << entry.name;
    EXPECT_GT(entry.message.size(), curl_prefix.size()) << entry.name;
  }
  EXPECT_GE(curl_texts, 1);

  const std::set<std::string> lan_over_usb = {
      "Invalid IP address.",
      "IP network segment of Lan Over USB host side and BMC side conflict.",
      "BMC Lan over USB device is enabled.",
      "BMC Lan over USB device is disabled.",
      "BMC Lan over USB device conflict.",
      "No BMC Lan over USB device detected.",
      "BMC Lan over USB node number is out of range.",
      "Failed to change BMC lan over USB device status.",
      "BMC Lan Over USB device driver is not detected.",
      "Failed to config LAN-over-USB device with non-administrator user.",
  };
  std::set<std::string> category_10;
  for (const auto& [key, text] : ErrorRegistry::GetCategoryMap().at(10)) category_10.insert(text);
  EXPECT_EQ(category_10, lan_over_usb);
}

// --- Invariants of every text ---

TEST(CatalogueTextTest, EveryTextIsARealDistinctLine) {
  using errors_testing::HasControlCharacter;
  using errors_testing::HasOuterBlank;
  using errors_testing::LooksLikePlaceholder;
  std::map<std::string, std::set<std::pair<int, int>>> users;
  for (const Entry& entry : ListedEntries()) {
    SCOPED_TRACE(entry.name);
    EXPECT_FALSE(entry.message.empty());
    EXPECT_FALSE(LooksLikePlaceholder(entry.message)) << entry.message;
    EXPECT_FALSE(HasControlCharacter(entry.message)) << entry.message;
    if (!(entry.category == 0 && entry.code == 33)) {
      EXPECT_FALSE(HasOuterBlank(entry.message)) << entry.message;
    }
    users[entry.message].insert({entry.category, entry.code});
  }
  // Only the two shared texts have more than one code.
  const std::set<std::set<std::pair<int, int>>> shared = {{{0, 27}, {4, 124}},
                                                          {{59, 95}, {59, 124}}};
  std::set<std::set<std::pair<int, int>>> found;
  for (const auto& [text, codes] : users) {
    if (codes.size() > 1) found.insert(codes);
  }
  EXPECT_EQ(found, shared);
}

}  // namespace
