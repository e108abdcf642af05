// Which load of the global configuration is current: a number that changes
// each time GlobalConfig::Reload forgets what was read, so a library that
// keeps settings it read from the configuration reads them again only then.
// Thread-safe.
#ifndef SUITE_GLOBALCONFIG_CONFIGGENERATION_H_
#define SUITE_GLOBALCONFIG_CONFIGGENERATION_H_

#include "host/Export.h"

namespace ZUdurov {

// The current load's number; 0 until the first Reload.
GLOBALCONFIG_API unsigned long GetGlobalConfigGeneration();

}  // namespace ZUdurov

#endif  // SUITE_GLOBALCONFIG_CONFIGGENERATION_H_
