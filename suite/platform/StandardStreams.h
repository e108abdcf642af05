// The process's standard streams as a script uses them: a value read whole
// from standard input, a check for a terminal there, data written to
// standard output as bytes, straight to the descriptor, so that no stream
// buffer keeps a copy of a secret, and notices on standard error.
// StandardStreamsPosix.cpp and StandardStreamsWindows.cpp hold the two
// sides.
#ifndef SUITE_PLATFORM_STANDARDSTREAMS_H_
#define SUITE_PLATFORM_STANDARDSTREAMS_H_

#include <cstddef>
#include <string>

#include "suite/secretmemory/SecretMemory.h"

namespace platform {

// Reads standard input to its end, as bytes, into `text`; false when it
// cannot be read or holds more than `max_size` bytes (`text` untouched).
[[nodiscard]] bool ReadStandardInput(std::size_t max_size, SecretString& text);

// True when standard input is a terminal, where hidden entries can be typed.
[[nodiscard]] bool StandardInputIsTerminal();

// Writes `size` bytes at `data` to standard output as they are (no line-end
// translation, no stream buffer). False when the write failed, with
// `reason` naming the cause in words ("standard output is closed", the
// system's error such as a full device).
[[nodiscard]] bool WriteStandardOutput(const char* data, std::size_t size, std::string& reason);

// Flushes what the C and C++ streams hold for standard output (console
// lines, prompts, the host's own text) and tells whether everything written
// through them since the process started reached it. False, with `reason`
// naming the cause, when a write or this flush failed: a closed descriptor,
// a full device, a broken pipe. For the host, once the command has run.
[[nodiscard]] bool FlushStandardOutput(std::string& reason);

// Writes `text` (no secret) to standard error at once, as the console shows
// text: on Windows a line end becomes CR LF. False when the write failed.
[[nodiscard]] bool WriteStandardError(const std::string& text);

}  // namespace platform

#endif  // SUITE_PLATFORM_STANDARDSTREAMS_H_
