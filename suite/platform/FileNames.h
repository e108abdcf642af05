// Names of the files kept beside a file that is replaced atomically (a
// store, a host key, an output file): its folder, the temporaries a writer
// fills before renaming them into place, and (on Windows) the writers' lock
// file. Every companion name has a fixed
// length, so a store whose own name is near the system's limit still has
// room for them.
#ifndef SUITE_PLATFORM_FILENAMES_H_
#define SUITE_PLATFORM_FILENAMES_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// The folder holding `path`; "." for a bare file name.
std::string ParentFolder(const std::string& path);

// The file-name prefix shared by every temporary of the file at `path`: a
// dot, a hash of the file's own name, ".tmp-".
std::string TempNamePrefix(const std::string& path);

// A fresh name, without folder, for a temporary of the file at `path`
// written by the process `writer`: the prefix, the process id in
// kTempWriterSize decimal digits, a dash, and kTempRandomSize random
// letters and digits. The id tells a later run whether the writer is
// still there.
std::string TempName(const std::string& path, std::uint32_t writer);
constexpr std::size_t kTempWriterSize = 10;
constexpr std::size_t kTempRandomSize = 6;

// True when `name` is a temporary of the file whose prefix is `prefix`,
// and stores its writer's process id in `writer`: 0 for a temporary named
// before names carried it (a prefix and the random part alone).
bool ReadTempName(const std::string& name, const std::string& prefix, std::uint32_t& writer);

// The name, without folder, of the lock file of the store at `path`.
std::string LockFileName(const std::string& path);

}  // namespace platform

#endif  // SUITE_PLATFORM_FILENAMES_H_
