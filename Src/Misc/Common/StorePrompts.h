// The console prompts every store command shares: a store's passphrase
// (typed once for an existing store, twice for a new one), a passphrase
// being chosen, and the yes/no questions. encrypt's own two prompts keep
// their fixed behaviour (AskPassphrase, AskToUpdate); every other
// command's questions default to no. Each reads what is typed from
// `keys` (ConsoleKeys(), or a test's script). Nothing typed is echoed
// or logged.
#ifndef SRC_MISC_COMMON_STOREPROMPTS_H_
#define SRC_MISC_COMMON_STOREPROMPTS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "Src/Misc/Common/KeySource.h"

// The fewest characters a passphrase may have, new and existing stores alike.
constexpr std::size_t kMinPassphraseLength = 8;
// The fewest characters a host-key backup's passphrase may have: more than
// a store's, since a backup may be attacked offline, away from this host,
// for as long as the key is in use.
constexpr std::size_t kMinBackupPassphraseLength = 12;

// encrypt's passphrase prompt. Asks the passphrase of
// the store at `path`: with `new_passphrase` the prompt states the minimum
// length and the entry is asked twice. Returns ERR_SUCCEED and stores the
// entry in `passphrase`, or ERR_PASSPHRASE for a short or mismatched entry
// (an empty input included), leaving `passphrase` untouched. A `name`
// ("current passphrase", "new passphrase") takes the place of "passphrase"
// in the prompt, and a refused entry is then explained on the console.
[[nodiscard]] uint32_t AskPassphrase(KeySource& keys, const std::string& path, bool new_passphrase,
                                     std::string& passphrase, const char* name = nullptr);

// As above with a minimum of `min_length` characters instead of a store's.
[[nodiscard]] uint32_t AskPassphrase(KeySource& keys, const std::string& path, bool new_passphrase,
                                     std::size_t min_length, std::string& passphrase,
                                     const char* name = nullptr);

// The passphrase that opens an existing store or host-key backup, for
// every command but encrypt: asked once, as AskPassphrase asks
// it. Input that ends before anything is typed (no terminal and nothing on
// standard input) is no passphrase rather than a wrong one: a console line
// says so and ERR_USER_QUIT is returned. An entry shorter than `min_length`
// gives ERR_PASSPHRASE, explained on the console when `name` is given.
// `passphrase` is written only on success.
[[nodiscard]] uint32_t AskExistingPassphrase(KeySource& keys, const std::string& path,
                                             std::size_t min_length, std::string& passphrase,
                                             const char* name = nullptr);

// AskPassphrase keeps printable ASCII only, as encrypt always has: that is
// how every store is opened. A passphrase being chosen (set's new store,
// rekey's new passphrase, a host-key backup) is therefore read whole and,
// when it is not exactly what that prompt would read (FitsPrintableField)
// or shorter than `min_length`, refused with a console line naming the
// rule rather than stored changed. Asked twice; returns ERR_SUCCEED and
// stores the entry in `passphrase`, ERR_USER_QUIT when the input ends
// before anything is typed, as above, or ERR_PASSPHRASE for a refused or
// mismatched entry, leaving `passphrase` untouched. `name` as above.
[[nodiscard]] uint32_t AskNewPassphrase(KeySource& keys, const std::string& path,
                                        std::size_t min_length, std::string& passphrase,
                                        const char* name = nullptr);

// encrypt's question before it updates the store at `path`: "(Y/N)"; Enter alone, "y" or "Y" mean yes, and input that ends
// before any answer is a no.
[[nodiscard]] bool AskToUpdate(KeySource& keys, const std::string& path);

// Asks `question` with " (y/N)?" after it. Only "y" or "yes", in any letter
// case, mean yes; Enter alone, input that ends and every other answer mean
// no, so a run nobody answers leaves things as they are.
[[nodiscard]] bool AskYesNo(KeySource& keys, const std::string& question);

// The question of every command but encrypt before it changes
// the store at `path`: encrypt's words, answered as AskYesNo is.
[[nodiscard]] bool AskToChangeStore(KeySource& keys, const std::string& path);

#endif  // SRC_MISC_COMMON_STOREPROMPTS_H_
