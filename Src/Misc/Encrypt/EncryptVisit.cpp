#include "Src/Misc/Encrypt/EncryptVisit.h"

#include <memory>

namespace {

// Per thread: a visit belongs to the run on the thread that started it.
thread_local std::unique_ptr<EncryptVisit> current;

}  // namespace

EncryptVisit& StartEncryptVisit() {
  current = std::make_unique<EncryptVisit>();
  return *current;
}

EncryptVisit* CurrentEncryptVisit() { return current.get(); }

void DropEncryptVisit() { current.reset(); }
