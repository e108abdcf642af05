#include "errors/ErrorRegistry.h"

#include <atomic>

#include "errors/LegacyErrorTable.h"

namespace {
constexpr char kUnknownCode[] = "Unknow error";
constexpr int32_t kLegacyGroupMask = 0xFF00;
constexpr int kCategoryShift = 16;

struct Maps {
  ErrorRegistry::MessageMap common;
  ErrorRegistry::CategoryMap categories;
};

struct CatalogueEntry {
  int category;
  int code;
  const char* message;
};

constexpr CatalogueEntry kCatalogue[] = {
#define KELVOX_ERROR(name, category, code, message) \
  {category, code, message},
#include "errors/ErrorCatalogue.def"
#undef KELVOX_ERROR
};

uint32_t Add(Maps& maps, int category, int code, const char* message) {
  const uint32_t composite = ErrorRegistry::Composite(category, code);
  ErrorRegistry::MessageMap& target = category <= 0 ? maps.common : maps.categories[category];
  target[static_cast<int32_t>(composite)] = message;
  return composite;
}

// The maps, once something asked for them: built then from the catalogue.
// Until then lookups read the catalogue itself, so that a run, which looks
// up a message or two, neither builds nor frees them.
std::atomic<const Maps*> built{nullptr};

Maps& Registry() {
  static Maps maps = [] {
    Maps catalogue;
    for (const CatalogueEntry& entry : kCatalogue) {
      Add(catalogue, entry.category, entry.code, entry.message);
    }
    return catalogue;
  }();
  built.store(&maps, std::memory_order_release);
  return maps;
}

}  // namespace

ErrorRegistry::MessageMap& ErrorRegistry::GetCommonMap() { return Registry().common; }

ErrorRegistry::CategoryMap& ErrorRegistry::GetCategoryMap() { return Registry().categories; }

uint32_t ErrorRegistry::Register(int category, int code, const char* message) {
  return Add(Registry(), category, code, message);
}

std::string ErrorRegistry::GetMessage(uint32_t composite, int category) {
  const Maps* maps = built.load(std::memory_order_acquire);
  if (maps == nullptr) {
    // As the maps would answer: the common entries first, then the category's.
    for (const bool common : {true, false}) {
      for (const CatalogueEntry& entry : kCatalogue) {
        if (ErrorRegistry::Composite(entry.category, entry.code) == composite &&
            (common ? entry.category <= 0 : entry.category == category && category > 0)) {
          return entry.message;
        }
      }
    }
    return kUnknownCode;
  }
  const auto key = static_cast<int32_t>(composite);
  if (auto it = maps->common.find(key); it != maps->common.end()) return it->second;
  if (auto cat = maps->categories.find(category); cat != maps->categories.end()) {
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
