#include "Src/Misc/Common/ChangeCount.h"

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/Trace.h"

void ShowChangeCount(const ChangeCount& count, bool replaces) {
  ConsoleMessage message(kLevelConsole, __FILE__, __LINE__);
  message << "add: " << count.added << ", update: " << count.updated;
  if (replaces) message << ", remove: " << count.removed;
}
