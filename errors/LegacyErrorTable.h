// The flat legacy numbering of update, key-management and device errors:
// code = group * 256 + number, group in bits 8-15. The table fills itself
// exactly once, on its first lookup, even when several threads look up at once.
#ifndef ERRORS_LEGACYERRORTABLE_H_
#define ERRORS_LEGACYERRORTABLE_H_

#include <cstdint>
#include <map>
#include <string>

// The message of a legacy code, or "Unknown error".
std::string GetLegacyErrorMessage(int32_t code);

// The table itself, as it is now (empty before the first lookup).
const std::map<int32_t, std::string>& GetLegacyErrorTable();

#endif  // ERRORS_LEGACYERRORTABLE_H_
