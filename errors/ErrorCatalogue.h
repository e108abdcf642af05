// The result-code catalogue as named constants. Each entry of
// ErrorCatalogue.def becomes a constant of this unit whose initialiser
// registers the entry, so including this header registers the whole list
// while the library loads; repeated registrations from several units keep
// one entry per code. Compare results with these constants, never numbers.
#ifndef ERRORS_ERRORCATALOGUE_H_
#define ERRORS_ERRORCATALOGUE_H_

#include <cstdint>

#include "errors/ErrorRegistry.h"

#define KELVOX_ERROR(name, category, code, message) \
  [[maybe_unused]] static const uint32_t name = ErrorRegistry::Register(category, code, message);
#include "errors/ErrorCatalogue.def"
#undef KELVOX_ERROR

#endif  // ERRORS_ERRORCATALOGUE_H_
