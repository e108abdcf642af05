// Where a command writes what it takes out of a store (decrypt's plaintext,
// export's age file): standard output, or a new owner-only file that
// appears whole, never the store itself, and an existing file only when
// the user said to replace it.
#ifndef SRC_MISC_COMMON_OUTPUTFILE_H_
#define SRC_MISC_COMMON_OUTPUTFILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "suite/platform/FileSystem.h"

// The output named on a command line: empty or "-" for standard output.
struct OutputFile {
  std::string path;
  bool force = false;  // replace a file already at `path`

  [[nodiscard]] bool IsStandardOutput() const { return path.empty() || path == "-"; }

  // Before the store is opened: refuses (with a console line) an output
  // that is the store at `store_path`, and an existing one without
  // `force`. Returns a catalogue code.
  [[nodiscard]] uint32_t Check(const std::string& store_path) const;

  // Writes the `size` bytes at `data`: to standard output as they are, or
  // through `files` to a new owner-only file made exclusively (with
  // `force`, replacing the entry at the path atomically). Returns a
  // catalogue code; a refusal or failure is logged, and an existing file
  // or the cause a write to standard output failed (closed, a full
  // device) named on the console. Every command's data for standard
  // output goes through here.
  [[nodiscard]] uint32_t Write(const void* data, std::size_t size,
                               platform::FileSystem& files = platform::SystemFiles()) const;
};

#endif  // SRC_MISC_COMMON_OUTPUTFILE_H_
