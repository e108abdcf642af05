// Reading a plaintext input file (a settings or credential file) into
// memory that is wiped whenever it is freed, so no stream buffer leaves a
// copy of the secrets behind. InputFilePosix.cpp and InputFileWindows.cpp
// hold the two sides.
#ifndef SUITE_PLATFORM_INPUTFILE_H_
#define SUITE_PLATFORM_INPUTFILE_H_

#include <string>

#include "suite/secretmemory/SecretMemory.h"

namespace platform {

enum class InputResult { kOk, kNotFound, kFailed };

// Reads whatever `path` opens to, to its end, into `text`, as bytes (no
// line-end translation). kNotFound or kFailed when it cannot be opened or
// read; `text` is untouched then. Before reading a file of a megabyte or
// more, readies the heap for the parse that follows, in huge pages where
// the system offers them.
[[nodiscard]] InputResult ReadInputFile(const std::string& path, SecretString& text);

}  // namespace platform

#endif  // SUITE_PLATFORM_INPUTFILE_H_
