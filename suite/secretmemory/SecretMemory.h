// Zeroing of memory that held secrets (passphrases, keys, plaintext values),
// shared by the command and the suite libraries. Header-only, so whoever
// includes it needs libsodium and nothing else.
//
// WARNING: a secret must not outlive its use. Strings go through WipeString
// when done; containers that grow or die while holding plaintext allocate
// through WipingAllocator, which zeroes every block before freeing it.
#ifndef SUITE_SECRETMEMORY_SECRETMEMORY_H_
#define SUITE_SECRETMEMORY_SECRETMEMORY_H_

#include <sodium.h>

#include <cstddef>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

// Zeroes the whole buffer of `text`, past its end included, then empties it.
inline void WipeString(std::string& text) {
  text.resize(text.capacity());
  sodium_memzero(text.data(), text.size());
  text.clear();
}

// Wipes every value of a record map; the keys are names, not secrets.
template <typename Key>
void WipeValues(std::map<Key, std::string>& records) {
  for (auto& record : records) WipeString(record.second);
}

// Wipes a string, a byte vector or a record map, as above, when it goes out
// of scope, however the scope is left.
template <typename Secret>
class ScopedWipe {
 public:
  explicit ScopedWipe(Secret& secret) : secret(secret) {}
  ScopedWipe(const ScopedWipe&) = delete;
  ScopedWipe& operator=(const ScopedWipe&) = delete;
  ~ScopedWipe() {
    if constexpr (std::is_same_v<Secret, std::string>) {
      WipeString(secret);
    } else if constexpr (std::is_same_v<Secret, std::vector<unsigned char>>) {
      sodium_memzero(secret.data(), secret.size());
    } else {
      WipeValues(secret);
    }
  }

 private:
  Secret& secret;
};

template <typename T>
struct WipingAllocator {
  using value_type = T;

  WipingAllocator() = default;
  template <typename U>
  WipingAllocator(const WipingAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* block, std::size_t n) noexcept {
    sodium_memzero(block, n * sizeof(T));
    std::allocator<T>().deallocate(block, n);
  }

  template <typename U>
  bool operator==(const WipingAllocator<U>&) const noexcept {
    return true;
  }
};

using SecretString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;
using SecretStream = std::basic_istringstream<char, std::char_traits<char>, WipingAllocator<char>>;

#endif  // SUITE_SECRETMEMORY_SECRETMEMORY_H_
