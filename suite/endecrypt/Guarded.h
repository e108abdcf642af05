// The store library's entry points let no exception out: allocation
// failures and the like become kInternal.
#ifndef SUITE_ENDECRYPT_GUARDED_H_
#define SUITE_ENDECRYPT_GUARDED_H_

#include <exception>

#include "host/EnDecrypt.h"

namespace endecrypt {

// Runs `operation`, an exception becoming kInternal.
template <typename Operation>
[[nodiscard]] StoreStatus Guarded(Operation operation) {
  try {
    return operation();
  } catch (const std::exception&) {
    return endecrypt_status::kInternal;
  }
}

// As Guarded, for the free functions a caller reaches without
// EnDecrypt::GetInstance: that starts libsodium first, and a library that
// cannot start it answers kInternal.
template <typename Operation>
[[nodiscard]] StoreStatus GuardedEntry(Operation operation) {
  if (EnDecrypt::GetInstance() == nullptr) return endecrypt_status::kInternal;
  return Guarded(operation);
}

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_GUARDED_H_
