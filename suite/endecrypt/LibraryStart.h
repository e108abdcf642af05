// Starting the store library: libsodium, and the process setting that makes
// a write past the system's file size limit fail rather than kill the
// process (platform::IgnoreFileSizeSignal). Done once per process, by the
// first call that needs it; thread-safe.
#ifndef SUITE_ENDECRYPT_LIBRARYSTART_H_
#define SUITE_ENDECRYPT_LIBRARYSTART_H_

namespace endecrypt {

// True once the library is started; false when libsodium cannot start, in
// which case nothing of the library may run.
[[nodiscard]] bool StartLibrary();

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_LIBRARYSTART_H_
