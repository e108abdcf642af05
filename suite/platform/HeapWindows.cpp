// Heap.h on Windows: the heap has no such knobs; nothing to do.
#include "suite/platform/Heap.h"

namespace platform {

void KeepFreedHeapForReuse() {}

void ReadyHeapForFile(std::size_t, HeapUse) {}

}  // namespace platform
