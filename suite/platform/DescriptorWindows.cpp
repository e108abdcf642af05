#include "suite/platform/DescriptorWindows.h"

namespace platform {
namespace {

// The most one ReadFile or WriteFile call is given.
constexpr DWORD kMaxChunk = 1u << 30;

DWORD ChunkOf(std::size_t left) { return left > kMaxChunk ? kMaxChunk : static_cast<DWORD>(left); }

}  // namespace

bool ReadFully(HANDLE file, void* data, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(data);
  std::size_t done = 0;
  while (done < size) {
    DWORD got = 0;
    if (!::ReadFile(file, bytes + done, ChunkOf(size - done), &got, nullptr) || got == 0) {
      return false;
    }
    done += got;
  }
  return true;
}

bool WriteFully(HANDLE file, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    DWORD written = 0;
    if (!::WriteFile(file, bytes, ChunkOf(size), &written, nullptr) || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

}  // namespace platform
