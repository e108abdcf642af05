// The console prompts every store command shares: a store's passphrase
// (typed once for an existing store, twice for a new one), a passphrase
// being chosen, and the Y/N question before a store is changed. Nothing
// typed is echoed or logged.
#ifndef SRC_MISC_COMMON_STOREPROMPTS_H_
#define SRC_MISC_COMMON_STOREPROMPTS_H_

#include <cstddef>
#include <cstdint>
#include <string>

// The fewest characters a passphrase may have, new and existing stores alike.
constexpr std::size_t kMinPassphraseLength = 8;
// The fewest characters a host-key backup's passphrase may have: more than
// a store's, since a backup may be attacked offline, away from this host,
// for as long as the key is in use.
constexpr std::size_t kMinBackupPassphraseLength = 12;

// Asks the passphrase of the store at `path`: with `new_passphrase` the
// prompt states the minimum length and the entry is asked twice. Returns
// ERR_SUCCEED and stores the entry in `passphrase`, or ERR_PASSPHRASE for a
// short or mismatched entry, leaving `passphrase` untouched. A `name`
// ("current passphrase", "new passphrase") takes the place of "passphrase"
// in the prompt, and a refused entry is then explained on the console.
[[nodiscard]] uint32_t AskPassphrase(const std::string& path, bool new_passphrase,
                                     std::string& passphrase, const char* name = nullptr);

// As above with a minimum of `min_length` characters instead of a store's
// (a host-key backup asks for more).
[[nodiscard]] uint32_t AskPassphrase(const std::string& path, bool new_passphrase,
                                     std::size_t min_length, std::string& passphrase,
                                     const char* name = nullptr);

// AskPassphrase keeps printable ASCII only, as encrypt always has: that is
// how every store is opened. A passphrase being chosen (set's new store,
// rekey's new passphrase, a host-key backup) is therefore read whole and,
// when it is not exactly what that prompt would read (FitsPrintableField)
// or shorter than `min_length`, refused with a console line naming the
// rule rather than stored changed. Asked twice; returns ERR_SUCCEED and
// stores the entry in `passphrase`, or ERR_PASSPHRASE for a refused or
// mismatched entry, leaving `passphrase` untouched. `name` as above.
[[nodiscard]] uint32_t AskNewPassphrase(const std::string& path, std::size_t min_length,
                                        std::string& passphrase, const char* name = nullptr);

// Asks whether to go on updating the store at `path`; Enter alone, "y" or
// "Y" mean yes.
[[nodiscard]] bool AskToUpdate(const std::string& path);

// Asks `question` (which ends in "(Y/N)?") and reads the answer as
// AskToUpdate does: input that ends before any answer is a no.
[[nodiscard]] bool AskYesNo(const std::string& question);

#endif  // SRC_MISC_COMMON_STOREPROMPTS_H_
