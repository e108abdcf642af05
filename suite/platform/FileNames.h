// Names of the files kept beside a file that is replaced atomically (a
// store, a host key, an output file): its folder, the temporaries a writer
// fills before renaming them into place, and (on Windows) the writers' lock
// file. Every companion name has a fixed
// length, so a store whose own name is near the system's limit still has
// room for them.
#ifndef SUITE_PLATFORM_FILENAMES_H_
#define SUITE_PLATFORM_FILENAMES_H_

#include <cstddef>
#include <string>

namespace platform {

// The folder holding `path`; "." for a bare file name.
std::string ParentFolder(const std::string& path);

// The file-name prefix shared by every temporary of the file at `path`: a
// dot, a hash of the file's own name, ".tmp-". A writer appends a random
// part of kTempRandomSize characters.
std::string TempNamePrefix(const std::string& path);
constexpr std::size_t kTempRandomSize = 6;

// A fresh random part for a temporary's name: kTempRandomSize characters
// from letters and digits.
std::string TempRandomPart();

// The name, without folder, of the lock file of the store at `path`.
std::string LockFileName(const std::string& path);

}  // namespace platform

#endif  // SUITE_PLATFORM_FILENAMES_H_
