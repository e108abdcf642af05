// A byte buffer in guarded memory for keys and plaintext: the platform's
// (suite/platform/GuardedMemory.h), named as the store library names it.
#ifndef SUITE_ENDECRYPT_SECUREBUFFER_H_
#define SUITE_ENDECRYPT_SECUREBUFFER_H_

#include "suite/platform/GuardedMemory.h"

namespace endecrypt {

using SecureBuffer = platform::GuardedMemory;

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_SECUREBUFFER_H_
