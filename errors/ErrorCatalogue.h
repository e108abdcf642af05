// The result-code catalogue as named constants. Each entry of
// ErrorCatalogue.def becomes a compile-time constant, its composite code;
// the registry reads the list itself at its first lookup, so including this
// header costs a library nothing while it loads. Compare results with these
// constants, never numbers.
#ifndef ERRORS_ERRORCATALOGUE_H_
#define ERRORS_ERRORCATALOGUE_H_

#include <cstdint>

#include "errors/ErrorRegistry.h"

#define KELVOX_ERROR(name, category, code, message) \
  [[maybe_unused]] constexpr uint32_t name = ErrorRegistry::Composite(category, code);
#include "errors/ErrorCatalogue.def"
#undef KELVOX_ERROR

#endif  // ERRORS_ERRORCATALOGUE_H_
