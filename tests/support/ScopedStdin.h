// Standard input read from `text` while the object lives, for whole runs
// that read typed keys from the console: without a terminal on standard
// input the console reads it byte by byte, so what is typed can come from
// a file. The keys go through a temporary file of the object's own,
// removed at the end, when standard input is put back as it was. Needs no
// test framework: benchmarks use it too.
#ifndef TESTS_SUPPORT_SCOPEDSTDIN_H_
#define TESTS_SUPPORT_SCOPEDSTDIN_H_

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

#include <boost/filesystem.hpp>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace testing_support {

class ScopedStdin {
 public:
  explicit ScopedStdin(const std::string& text) {
    const std::string keys = keys_file.string();
    std::ofstream(keys, std::ios::binary) << text;
#if defined(_WIN32)
    const int opened = _open(keys.c_str(), _O_RDONLY | _O_BINARY);
    saved = _dup(0);
    const bool moved = opened >= 0 && saved >= 0 && _dup2(opened, 0) == 0;
#else
    const int opened = open(keys.c_str(), O_RDONLY);
    saved = dup(0);
    const bool moved = opened >= 0 && saved >= 0 && dup2(opened, 0) == 0;
#endif
    if (opened >= 0) Close(opened);
    if (!moved) {
      if (saved >= 0) Close(saved);
      boost::filesystem::remove(keys_file);
      throw std::runtime_error("cannot read standard input from " + keys);
    }
    Forget();
  }
  ScopedStdin(const ScopedStdin&) = delete;
  ScopedStdin& operator=(const ScopedStdin&) = delete;
  ~ScopedStdin() {
#if defined(_WIN32)
    _dup2(saved, 0);
#else
    dup2(saved, 0);
#endif
    Close(saved);
    Forget();
    boost::system::error_code ignored;
    boost::filesystem::remove(keys_file, ignored);
  }

 private:
  // Whatever the C stream met before the switch is forgotten: its end, and
  // on Windows, where the console reads a visible field through that
  // stream, the bytes it had buffered (flushing an input stream drops them
  // there).
  static void Forget() {
#if defined(_WIN32)
    std::fflush(stdin);
#endif
    std::clearerr(stdin);
  }
  static void Close(int descriptor) {
#if defined(_WIN32)
    _close(descriptor);
#else
    close(descriptor);
#endif
  }

  const boost::filesystem::path keys_file =
      boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("keys-%%%%-%%%%");
  int saved = -1;
};

}  // namespace testing_support

#endif  // TESTS_SUPPORT_SCOPEDSTDIN_H_
