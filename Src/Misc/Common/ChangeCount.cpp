#include "Src/Misc/Common/ChangeCount.h"

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/Trace.h"

ChangeCount CountChanges(const std::map<std::string, std::string>& incoming,
                         const std::map<std::string, std::string>& stored, bool replaces) {
  // Both maps are in the same key order, so one walk through both finds
  // every key, instead of a search per record.
  ChangeCount count;
  auto old = stored.begin();
  for (const auto& [key, value] : incoming) {
    int order = -1;
    while (old != stored.end() && (order = old->first.compare(key)) < 0) {
      ++old;
      if (replaces) ++count.removed;
    }
    if (order != 0) {
      ++count.added;
    } else {
      if (old->second != value) ++count.updated;
      ++old;
    }
  }
  if (replaces) count.removed += static_cast<int32_t>(std::distance(old, stored.end()));
  return count;
}

void ShowChangeCount(const ChangeCount& count, bool replaces) {
  ConsoleMessage message(kLevelConsole, __FILE__, __LINE__);
  message << "add: " << count.added << ", update: " << count.updated;
  if (replaces) message << ", remove: " << count.removed;
}
