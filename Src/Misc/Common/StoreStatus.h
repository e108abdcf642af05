// The one place that interprets the store library's statuses: each becomes
// a code of the common catalogue, and the reason a failure carries goes to
// the log there, once, where the command decides its result, and (but from
// MapHostKeyStatus, whose caller names the problem itself) as a note the
// host shows on the console after the run (host/Log.h), since no catalogue
// message names a file or a system error.
#ifndef SRC_MISC_COMMON_STORESTATUS_H_
#define SRC_MISC_COMMON_STORESTATUS_H_

#include <cstdint>

#include "host/EnDecrypt.h"

// The catalogue code for `status`, one of endecrypt_status; ERR_ENCRYPT_DECRYPT
// for every status without a closer code. Logs the reason of a failure.
[[nodiscard]] uint32_t MapStoreStatus(const StoreStatus& status);

// As MapStoreStatus, for every command but encrypt: a store gone missing
// is "File doesn't exist.", and these commands also meet the statuses that
// a write of records never gives: a key not found (1, as a missing record),
// another host-key change running, a kept key still needed, an edit that
// conflicts with a write made meanwhile.
[[nodiscard]] uint32_t MapAdminStatus(const StoreStatus& status);

// The code of a host key that did not serve to open an age file: the crypto
// library failing is an internal error, anything else a missing or unusable
// key (ERR_NO_MATCHING_CREDENTIAL). Logs the reason of a failure.
[[nodiscard]] uint32_t MapHostKeyStatus(const StoreStatus& status);

#endif  // SRC_MISC_COMMON_STORESTATUS_H_
