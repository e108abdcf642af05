// The configuration keys the suite reads, so that a misspelt one is named
// rather than silently ignored (a misspelt store path would otherwise put
// secrets where nobody looks for them).
#ifndef SUITE_GLOBALCONFIG_KNOWNKEYS_H_
#define SUITE_GLOBALCONFIG_KNOWNKEYS_H_

#include <string>

namespace ZUdurov {

// True when the suite reads `key`.
bool IsKnownKey(const std::string& key);

// The known key nearest to `key` by edit distance, when it is near enough
// to be a slip of the hand (at most a third of its letters apart); empty
// otherwise.
std::string GetNearestKnownKey(const std::string& key);

}  // namespace ZUdurov

#endif  // SUITE_GLOBALCONFIG_KNOWNKEYS_H_
