// The store library's entry points let no exception out: allocation
// failures and the like become kInternal.
#ifndef SUITE_ENDECRYPT_GUARDED_H_
#define SUITE_ENDECRYPT_GUARDED_H_

#include <exception>

#include "host/StoreVocabulary.h"
#include "suite/endecrypt/LibraryStart.h"

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

// As Guarded, for an entry point a caller may reach first: starts the
// library, and a library that cannot start answers kInternal.
template <typename Operation>
[[nodiscard]] StoreStatus GuardedEntry(Operation operation) {
  if (!StartLibrary()) return endecrypt_status::kInternal;
  return Guarded(operation);
}

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_GUARDED_H_
