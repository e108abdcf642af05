// What the command's steps share. They return catalogue codes as int, as
// their signatures fix; the conversions live here, at that one edge. They
// reach the store through one accessor that logs when it is missing.
#ifndef SRC_MISC_ENCRYPT_STEPRESULT_H_
#define SRC_MISC_ENCRYPT_STEPRESULT_H_

#include <cstdint>

#include "errors/ErrorCatalogue.h"

class EnDecrypt;

// A catalogue code, or a result's code, as a step returns it.
inline int StepCode(uint32_t code) { return static_cast<int>(code); }
inline int StepCode(const CommandResult& result) { return StepCode(result.code); }

inline bool Succeeded(int step_code) { return step_code == StepCode(ERR_SUCCEED); }

// The store instance; null, after a log line, when the store library could
// not start. A step then returns ERR_INTERNAL.
EnDecrypt* GetStoreInstance();

#endif  // SRC_MISC_ENCRYPT_STEPRESULT_H_
