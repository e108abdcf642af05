// What encrypt's pre-check found of the store of the type being written,
// for the steps after it on the same thread: the store library's one answer
// about the store (absent: a new store, whose passphrase is typed twice),
// and what the update's decryption opened, which the write takes over
// instead of decrypting the same file again.
// It lives here, per thread, rather than in the ENCRYPT object: that
// object's members are fixed (its readers, its records and the host's
// context) and nothing in them may point outside it. One visit at a time
// per thread; EncryptProc drops it when each type ends, however it ends.
#ifndef SRC_MISC_ENCRYPT_ENCRYPTVISIT_H_
#define SRC_MISC_ENCRYPT_ENCRYPTVISIT_H_

#include "Src/Misc/Common/OpenStore.h"
#include "host/EnDecrypt.h"

struct EncryptVisit {
  StoreFound found;
  // The update's plaintext, in the library's guarded memory; wiped with the
  // visit.
  EnDecrypt::ReadForUpdate read;
};

// Starts this thread's visit afresh, dropping any earlier one.
EncryptVisit& StartEncryptVisit();

// This thread's visit; null when none was started since it was last dropped.
EncryptVisit* CurrentEncryptVisit();

// Drops this thread's visit, wiping what it decrypted.
void DropEncryptVisit();

// Drops this thread's visit when it goes out of scope.
class ScopedEncryptVisit {
 public:
  ScopedEncryptVisit() = default;
  ScopedEncryptVisit(const ScopedEncryptVisit&) = delete;
  ScopedEncryptVisit& operator=(const ScopedEncryptVisit&) = delete;
  ~ScopedEncryptVisit() { DropEncryptVisit(); }
};

#endif  // SRC_MISC_ENCRYPT_ENCRYPTVISIT_H_
