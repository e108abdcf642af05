#include "suite/endecrypt/LibraryStart.h"

#include <sodium.h>

#include "suite/platform/Process.h"

namespace endecrypt {

bool StartLibrary() {
  static const bool started = [] {
    platform::IgnoreFileSizeSignal();
    return sodium_init() >= 0;
  }();
  return started;
}

}  // namespace endecrypt
