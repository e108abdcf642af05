// Log levels the command writes at, and its entry/exit trace lines.
#ifndef SRC_MISC_COMMON_TRACE_H_
#define SRC_MISC_COMMON_TRACE_H_

#include "host/Log.h"

constexpr unsigned kLevelError = 1;    // failure details, log only
constexpr unsigned kLevelWarning = 2;  // something left undone by a run that went on
constexpr unsigned kLevelConsole = 3;  // user-facing lines
constexpr unsigned kLevelTrace = 4;    // entry/exit and detail lines

#define TRACE_ENTERING(name) KLOG(kLevelTrace) << "Entering  " << (name)
#define TRACE_EXITING(name) KLOG(kLevelTrace) << "Exiting  " << (name)

#endif  // SRC_MISC_COMMON_TRACE_H_
