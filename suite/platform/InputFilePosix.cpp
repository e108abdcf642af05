// InputFile.h on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <limits>

#include "suite/platform/DescriptorPosix.h"
#include "suite/platform/Heap.h"
#include "suite/platform/InputFile.h"

namespace platform {

InputResult ReadInputFile(const std::string& path, SecretString& text) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno == ENOENT ? InputResult::kNotFound : InputResult::kFailed;
  // The file may be a pipe or grow meanwhile, so its size is only a first
  // guess.
  struct stat status;
  const std::size_t guess = ::fstat(fd.get(), &status) == 0 && S_ISREG(status.st_mode)
                                ? static_cast<std::size_t>(status.st_size)
                                : 0;
  ReadyHeapForFile(guess, HeapUse::kInputText);
  return ReadToEnd(fd.get(), guess, std::numeric_limits<std::size_t>::max(), text)
             ? InputResult::kOk
             : InputResult::kFailed;
}

}  // namespace platform
