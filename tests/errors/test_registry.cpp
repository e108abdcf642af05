// The registry's rules on entries of the test's own: where an entry goes,
// replacement on re-registration, which table a code is looked up in, and
// the fallback texts. The maps are restored after every case.
#include <gtest/gtest.h>

#include <cstdint>

#include "errors/ErrorRegistry.h"

namespace {

constexpr char kRegistryFallback[] = "Unknow error";
constexpr char kLegacyFallback[] = "Unknown error";
constexpr char kLegacy1537[] =
    "Update query module error: given ID is not found in the query package results.";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_common = ErrorRegistry::GetCommonMap();
    saved_categories = ErrorRegistry::GetCategoryMap();
  }
  void TearDown() override {
    ErrorRegistry::GetCommonMap() = saved_common;
    ErrorRegistry::GetCategoryMap() = saved_categories;
  }

  static size_t CategoryEntries() {
    size_t count = 0;
    for (const auto& [category, map] : ErrorRegistry::GetCategoryMap()) count += map.size();
    return count;
  }

 private:
  ErrorRegistry::MessageMap saved_common;
  ErrorRegistry::CategoryMap saved_categories;
};

// --- Registration ---

TEST_F(RegistryTest, EntryGoesToTheMapOfItsCategory) {
  EXPECT_EQ(ErrorRegistry::Register(3, 7, "category three"), 0x30007u);
  EXPECT_EQ(ErrorRegistry::GetCategoryMap().at(3).at(0x30007), "category three");
  EXPECT_EQ(ErrorRegistry::GetCommonMap().count(0x30007), 0u);

  EXPECT_EQ(ErrorRegistry::Register(0, 5, "common five"), 5u);
  EXPECT_EQ(ErrorRegistry::GetCommonMap().at(5), "common five");
}

TEST_F(RegistryTest, NonPositiveCategoriesGoToTheCommonMap) {
  const size_t before = CategoryEntries();
  EXPECT_EQ(ErrorRegistry::Register(-2, 9, "negative"), 0xFFFE0009u);
  EXPECT_EQ(ErrorRegistry::GetCommonMap().at(static_cast<int32_t>(0xFFFE0009u)), "negative");
  EXPECT_EQ(CategoryEntries(), before);
}

TEST_F(RegistryTest, ReRegistrationReplacesTheMessageWithoutAddingAnEntry) {
  EXPECT_EQ(ErrorRegistry::Register(0, 5, "first"), 5u);
  const size_t common = ErrorRegistry::GetCommonMap().size();
  EXPECT_EQ(ErrorRegistry::Register(0, 5, "second"), 5u);
  EXPECT_EQ(ErrorRegistry::GetCommonMap().size(), common);
  EXPECT_EQ(GetErrorMessage(5), "second");

  ErrorRegistry::Register(3, 7, "first");
  const size_t categories = CategoryEntries();
  ErrorRegistry::Register(3, 7, "second");
  EXPECT_EQ(CategoryEntries(), categories);
  EXPECT_EQ(GetErrorMessage(0x30007), "second");
}

// --- Lookup ---

TEST_F(RegistryTest, CommonMapIsConsultedFirstWithTheFullCode) {
  ErrorRegistry::Register(3, 7, "from category");
  ErrorRegistry::Register(0, 0x30007, "from common");
  EXPECT_EQ(GetErrorMessage(0x30007), "from common");
}

TEST_F(RegistryTest, LookupNeverInserts) {
  const size_t common = ErrorRegistry::GetCommonMap().size();
  const size_t categories = ErrorRegistry::GetCategoryMap().size();
  EXPECT_EQ(GetErrorMessage(0x2A0001), kRegistryFallback);
  EXPECT_EQ(GetErrorMessage(0x7F), kRegistryFallback);
  EXPECT_EQ(ErrorRegistry::GetCommonMap().size(), common);
  EXPECT_EQ(ErrorRegistry::GetCategoryMap().size(), categories);
}

TEST_F(RegistryTest, UnregisteredCodesFallBackToUnknowError) {
  ErrorRegistry::Register(3, 7, "seven");
  EXPECT_EQ(GetErrorMessage(0x30008), kRegistryFallback);  // category has entries
  EXPECT_EQ(GetErrorMessage(0x2B0007), kRegistryFallback);  // category has none
  EXPECT_EQ(ErrorRegistry::GetMessage(0x30008, 3), kRegistryFallback);
}

// --- Routing between the two schemes ---

TEST_F(RegistryTest, NonZeroSecondByteGoesToTheLegacyTableEvenWhenRegistered) {
  ErrorRegistry::Register(0, 0x601, "registry 0x601");
  ErrorRegistry::Register(0, 0x700, "registry 0x700");
  ErrorRegistry::Register(1, 0x601, "registry 0x10601");
  EXPECT_EQ(ErrorRegistry::GetMessage(0x601, 0), "registry 0x601");

  EXPECT_EQ(GetErrorMessage(0x601), kLegacy1537);
  EXPECT_EQ(GetErrorMessage(0x700), kLegacyFallback);
  EXPECT_EQ(GetErrorMessage(0x10601), kLegacyFallback);
  EXPECT_EQ(GetErrorMessage(0x100), kLegacyFallback);  // lowest code with the byte set
}

TEST_F(RegistryTest, CodesBelow256StayInTheRegistry) {
  ErrorRegistry::Register(0, 0xFF, "highest common");
  EXPECT_EQ(GetErrorMessage(0xFF), "highest common");
}

TEST_F(RegistryTest, BitThirtyOneMakesTheCategoryNegative) {
  // Category 0x8001 is registered under its positive number; a lookup
  // reads the category back from the code as -32767 and misses it.
  EXPECT_EQ(ErrorRegistry::Register(0x8001, 5, "high category"), 0x80010005u);
  EXPECT_EQ(ErrorRegistry::GetMessage(0x80010005u, 0x8001), "high category");
  EXPECT_EQ(GetErrorMessage(static_cast<int32_t>(0x80010005u)), kRegistryFallback);

  // The common map is still consulted first with the full code.
  ErrorRegistry::Register(-32767, 5, "negative category");
  EXPECT_EQ(GetErrorMessage(static_cast<int32_t>(0x80010005u)), "negative category");
}

// --- MakeCommandResult ---

TEST_F(RegistryTest, MakeCommandResultReplacesCodeAndMessage) {
  ErrorRegistry::Register(0, 5, "five");
  CommandResult result{99, "stale"};
  const uint32_t five = 5;
  CommandResult& returned = MakeCommandResult(result, five);
  EXPECT_EQ(&returned, &result);
  EXPECT_EQ(result.code, 5u);
  EXPECT_EQ(result.message, "five");

  const uint32_t legacy = 1537;
  MakeCommandResult(result, legacy);
  EXPECT_EQ(result.code, 1537u);
  EXPECT_EQ(result.message, kLegacy1537);

  const uint32_t unknown = 0x2B0009;
  MakeCommandResult(result, unknown);
  EXPECT_EQ(result.code, 0x2B0009u);
  EXPECT_EQ(result.message, kRegistryFallback);
}

}  // namespace
