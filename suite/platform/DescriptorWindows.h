// Handles as the platform's Windows sources use them: the one owner that
// closes a handle, and the one loop each for reading or writing a whole
// span through it, in the chunks a single call takes.
#ifndef SUITE_PLATFORM_DESCRIPTORWINDOWS_H_
#define SUITE_PLATFORM_DESCRIPTORWINDOWS_H_

#include <windows.h>

#include <cstddef>
#include <utility>

namespace platform {

// A HANDLE closed on destruction; null and INVALID_HANDLE_VALUE both hold
// nothing.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() {
    if (valid()) ::CloseHandle(handle);
  }
  bool valid() const { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
  HANDLE get() const { return handle; }
  HANDLE release() { return std::exchange(handle, INVALID_HANDLE_VALUE); }
  void reset(HANDLE held) {
    if (valid()) ::CloseHandle(handle);
    handle = held;
  }

 private:
  HANDLE handle;
};

// Reads exactly `size` bytes from `file` into `data`, from its current
// position. False at an error or when the file ends first.
[[nodiscard]] bool ReadFully(HANDLE file, void* data, std::size_t size);

// Writes all `size` bytes at `data` to `file`. False at an error.
[[nodiscard]] bool WriteFully(HANDLE file, const void* data, std::size_t size);

}  // namespace platform

#endif  // SUITE_PLATFORM_DESCRIPTORWINDOWS_H_
