// Opening an existing store for a command, the one sequence that encrypt's
// update, import and every store administration command go through: the
// store library is asked once for the store's mode, which also tells an
// absent store (a new one, for a command that makes it) from one that is
// there; an existing store must have been written in the run's mode
// (checked before any prompt, since a passphrase typed for a host-key
// store, or the reverse, could open nothing), then an attended store's
// passphrase is asked once.
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

// What the store library answered when asked for the mode of the store at
// a path: the mode, or why there is none (IsAbsent: nothing is there).
struct StoreFound {
  StoreStatus status;
  EncryptionMode mode = kAttendedMode;  // meaningful when status.IsOk()

  [[nodiscard]] bool IsAbsent() const { return status.IsAbsent(); }
};

// Asks `store` once for the mode of the store at `path`.
[[nodiscard]] StoreFound FindStore(EnDecrypt& store, const std::string& path);

// Opens the store at `path`, as `found` (FindStore) says it is, for a run in
// `mode` (none: the store's own). Returns ERR_SUCCEED with the passphrase in
// `passphrase` (untouched for an unattended store), map_status of the
// answer when it names no mode (an absent store included), ERR_MODE_CONFLICT
// for a store in the other mode, or the prompt's failure. Each failure is
// logged. When `store_mode` is given it receives the store's mode as soon as
// it is known (before the prompt, and also when the result is
// ERR_MODE_CONFLICT).
[[nodiscard]] uint32_t OpenExistingStore(const StoreFound& found, const std::string& path,
                                         std::optional<EncryptionMode> mode,
                                         const StoreStatusMap& map_status,
                                         const PassphrasePrompt& ask, std::string& passphrase,
                                         std::optional<EncryptionMode>* store_mode = nullptr);

#endif  // SRC_MISC_COMMON_OPENSTORE_H_
