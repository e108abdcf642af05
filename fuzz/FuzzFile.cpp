#include "fuzz/FuzzFile.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

std::string MakeScratchFile() {
  const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string path = std::string(folder) + "/kelvox-fuzz-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) std::abort();
  close(fd);
  // Removed at exit, also when libFuzzer stops the run normally.
  static const std::string removed_at_exit = path;
  std::atexit([] { unlink(removed_at_exit.c_str()); });
  return path;
}

}  // namespace

const std::string& WriteFuzzFile(const uint8_t* data, size_t size) {
  static const std::string path = MakeScratchFile();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  if (std::fclose(file) != 0) std::abort();
  return path;
}
