#include "errors/LegacyErrorTable.h"

#include <mutex>

namespace {

constexpr char kUnknownLegacyCode[] = "Unknown error";

struct LegacyEntry {
  int32_t code;
  const char* message;
};

// TODO(errors): the full 224-entry list.
constexpr LegacyEntry kLegacyEntries[] = {
    {1537, "Update query module error: given ID is not found in the query package results."},
};

std::map<int32_t, std::string> legacy_table;
std::once_flag legacy_fill;

void FillLegacyTable() {
  for (const LegacyEntry& entry : kLegacyEntries) legacy_table[entry.code] = entry.message;
}

}  // namespace

const std::map<int32_t, std::string>& GetLegacyErrorTable() { return legacy_table; }

std::string GetLegacyErrorMessage(int32_t code) {
  std::call_once(legacy_fill, FillLegacyTable);
  auto it = legacy_table.find(code);
  return it == legacy_table.end() ? kUnknownLegacyCode : it->second;
}
