// An input a command reads whole, named on its command line as a file or
// as "-" for standard input: a value to store, an age file to import, a
// list of recipients. Read into memory that is wiped when freed, with an
// upper bound, so a FIFO or a huge file cannot hold the command forever.
#ifndef SRC_MISC_COMMON_INPUTBYTES_H_
#define SRC_MISC_COMMON_INPUTBYTES_H_

#include <cstddef>
#include <string>
#include <vector>

#include "suite/secretmemory/SecretMemory.h"

// The name that stands for standard input.
constexpr char kStandardInputName[] = "-";

// Reads the regular file `from`, or standard input when it is "-", whole
// into `bytes`: at most `max_size` bytes. False when it cannot, with
// `reason` in words for the console ("it does not exist", "permission
// denied", "it is not a regular file of at most 16 MiB", ...) and the file
// layer's reason in the log; `bytes` is untouched then.
[[nodiscard]] bool ReadFileOrStandardInput(const std::string& from, std::size_t max_size,
                                           SecretString& bytes, std::string& reason);

// Reads the file at `path`, which guards a secret (a passphrase, an age
// identity), into `bytes`: it must be a regular file of 1 to `max_size`
// bytes, not a link, the user's own and readable by no one else. False
// when it is not or cannot be read, with `reason` in words for the
// console and the check it failed in the log; `bytes` is untouched then.
[[nodiscard]] bool ReadOwnerOnlyFile(const std::string& path, std::size_t max_size,
                                     std::vector<unsigned char>& bytes, std::string& reason);

#endif  // SRC_MISC_COMMON_INPUTBYTES_H_
