#include "errors/ErrorRegistry.h"

#include <utility>

#include "errors/LegacyErrorTable.h"

namespace {
constexpr char kUnknownCode[] = "Unknow error";
constexpr int32_t kLegacyGroupMask = 0xFF00;
constexpr int kCategoryShift = 16;

struct Maps {
  ErrorRegistry::MessageMap common;
  ErrorRegistry::CategoryMap categories;
};

uint32_t Add(Maps& maps, int category, int code, const char* message) {
  const uint32_t composite = ErrorRegistry::Composite(category, code);
  ErrorRegistry::MessageMap& target = category <= 0 ? maps.common : maps.categories[category];
  target[static_cast<int32_t>(composite)] = message;
  return composite;
}

// The registry, holding the catalogue from its first use on: filled once,
// rather than by every unit that includes the catalogue while its library
// loads.
Maps& Registry() {
  static Maps maps = [] {
    Maps catalogue;
#define KELVOX_ERROR(name, category, code, message) Add(catalogue, category, code, message);
#include "errors/ErrorCatalogue.def"
#undef KELVOX_ERROR
    return catalogue;
  }();
  return maps;
}

}  // namespace

ErrorRegistry::MessageMap& ErrorRegistry::GetCommonMap() { return Registry().common; }

ErrorRegistry::CategoryMap& ErrorRegistry::GetCategoryMap() { return Registry().categories; }

uint32_t ErrorRegistry::Register(int category, int code, const char* message) {
  return Add(Registry(), category, code, message);
}

std::string ErrorRegistry::GetMessage(uint32_t composite, int category) {
  const auto key = static_cast<int32_t>(composite);
  const MessageMap& common = GetCommonMap();
  if (auto it = common.find(key); it != common.end()) return it->second;
  const CategoryMap& categories = GetCategoryMap();
  if (auto cat = categories.find(category); cat != categories.end()) {
    if (auto it = cat->second.find(key); it != cat->second.end()) return it->second;
  }
  return kUnknownCode;
}

std::string GetErrorMessage(int32_t code) {
  if ((code & kLegacyGroupMask) == 0) {
    // Arithmetic shift: a code with bit 31 set has a negative category.
    return ErrorRegistry::GetMessage(static_cast<uint32_t>(code), code >> kCategoryShift);
  }
  return GetLegacyErrorMessage(code);
}

CommandResult& MakeCommandResult(CommandResult& result, const uint32_t& code) {
  result.code = code;
  result.message = GetErrorMessage(static_cast<int32_t>(code));
  return result;
}
