#include "errors/ErrorRegistry.h"

#include <utility>

#include "errors/LegacyErrorTable.h"

namespace {
constexpr char kUnknownCode[] = "Unknow error";
constexpr int32_t kLegacyGroupMask = 0xFF00;
constexpr int kCategoryShift = 16;
}  // namespace

ErrorRegistry::MessageMap& ErrorRegistry::GetCommonMap() {
  static MessageMap common;
  return common;
}

ErrorRegistry::CategoryMap& ErrorRegistry::GetCategoryMap() {
  static CategoryMap categories;
  return categories;
}

uint32_t ErrorRegistry::Register(int category, int code, const char* message) {
  const uint32_t composite =
      (static_cast<uint32_t>(category) << kCategoryShift) | static_cast<uint32_t>(code);
  MessageMap& target = category <= 0 ? GetCommonMap() : GetCategoryMap()[category];
  target[static_cast<int32_t>(composite)] = message;
  return composite;
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
