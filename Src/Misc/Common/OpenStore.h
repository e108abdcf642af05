// Opening an existing store for a command, the one sequence that encrypt's
// update and every store administration command go through: the store must
// exist and have been written in the run's mode (checked before any prompt,
// since a passphrase typed for a host-key store, or the reverse, could open
// nothing), then an attended store's passphrase is asked once.
#ifndef SRC_MISC_COMMON_OPENSTORE_H_
#define SRC_MISC_COMMON_OPENSTORE_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "host/EnDecrypt.h"

// A store status as the calling command reports it.
using StoreStatusMap = std::function<uint32_t(const StoreStatus& status)>;

// Asks the passphrase of an existing store into its argument; returns a
// catalogue code.
using PassphrasePrompt = std::function<uint32_t(std::string& passphrase)>;

// Opens the store at `path` for a run in `mode` (none: the store's own).
// Returns ERR_SUCCEED with the passphrase in `passphrase` (untouched for an
// unattended store), map_status(kNotExist) when nothing is at `path`,
// map_status of a failed last-mode query, ERR_MODE_CONFLICT for a store in
// the other mode, or the prompt's failure. Each failure is logged. When
// `store_mode` is given it receives the store's mode as soon as it is known
// (before the prompt, and also when the result is ERR_MODE_CONFLICT).
[[nodiscard]] uint32_t OpenExistingStore(EnDecrypt& store, const std::string& path,
                                         std::optional<EncryptionMode> mode,
                                         const StoreStatusMap& map_status,
                                         const PassphrasePrompt& ask, std::string& passphrase,
                                         std::optional<EncryptionMode>* store_mode = nullptr);

#endif  // SRC_MISC_COMMON_OPENSTORE_H_
