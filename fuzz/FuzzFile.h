// The readers take a path, so every fuzz input is written to one scratch
// file per process first.
#ifndef FUZZ_FUZZFILE_H_
#define FUZZ_FUZZFILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

// Replaces the scratch file's contents with `data` and returns its path.
// Aborts when the file cannot be written: the run would test nothing.
const std::string& WriteFuzzFile(const uint8_t* data, size_t size);

#endif  // FUZZ_FUZZFILE_H_
