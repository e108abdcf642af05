// SocketSnapshot.h on Windows, where nothing uses the cut (the TPM path it
// bounds is Linux only): the snapshot finds no socket, and cuts none.
#include "suite/platform/SocketSnapshot.h"

namespace platform {

SocketSnapshot::SocketSnapshot() = default;

void SocketSnapshot::ShutNewerForReading() const {}

}  // namespace platform
