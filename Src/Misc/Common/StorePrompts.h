// The console prompts every store command shares: a store's passphrase
// (typed once for an existing store, twice for a new one) and the Y/N
// question before a store is changed. Nothing typed is echoed or logged.
#ifndef SRC_MISC_COMMON_STOREPROMPTS_H_
#define SRC_MISC_COMMON_STOREPROMPTS_H_

#include <cstddef>
#include <cstdint>
#include <string>

// Asks the passphrase of the store at `path`: with `new_passphrase` the
// prompt states the minimum length and the entry is asked twice. Returns
// ERR_SUCCEED and stores the entry in `passphrase`, or ERR_PASSPHRASE for a
// short or mismatched entry, leaving `passphrase` untouched.
[[nodiscard]] uint32_t AskPassphrase(const std::string& path, bool new_passphrase,
                                     std::string& passphrase);

// As above with a minimum of `min_length` characters instead of a store's
// (a host-key backup asks for more).
[[nodiscard]] uint32_t AskPassphrase(const std::string& path, bool new_passphrase,
                                     std::size_t min_length, std::string& passphrase);

// Asks whether to go on updating the store at `path`; Enter alone, "y" or
// "Y" mean yes.
[[nodiscard]] bool AskToUpdate(const std::string& path);

#endif  // SRC_MISC_COMMON_STOREPROMPTS_H_
