#include "suite/age/AgeInternal.h"

#include <sodium.h>

#include <algorithm>

namespace age {

bool DeriveHkdfSha256(const unsigned char* ikm, std::size_t ikm_size, const unsigned char* salt,
                      std::size_t salt_size, std::string_view info, unsigned char* out,
                      std::size_t size) {
  constexpr std::size_t kHashSize = crypto_auth_hmacsha256_BYTES;
  if (size > 255 * kHashSize) return false;
  // HMAC pads its key with zeros to the block size, so an empty salt keys
  // the extraction exactly as HashLen zero bytes do.
  const unsigned char no_salt = 0;
  unsigned char prk[kHashSize];
  unsigned char block[kHashSize];
  crypto_auth_hmacsha256_state state;
  crypto_auth_hmacsha256_init(&state, salt_size == 0 ? &no_salt : salt, salt_size);
  crypto_auth_hmacsha256_update(&state, ikm, ikm_size);
  crypto_auth_hmacsha256_final(&state, prk);
  // T(i) = HMAC(PRK, T(i-1) || info || i), T(0) empty; the output is the
  // first `size` bytes of T(1) || T(2) || ...
  for (std::size_t done = 0, round = 1; done < size; ++round) {
    const unsigned char counter = static_cast<unsigned char>(round);
    crypto_auth_hmacsha256_init(&state, prk, kHashSize);
    if (round > 1) crypto_auth_hmacsha256_update(&state, block, kHashSize);
    crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(info.data()),
                                  info.size());
    crypto_auth_hmacsha256_update(&state, &counter, 1);
    crypto_auth_hmacsha256_final(&state, block);
    const std::size_t take = std::min(kHashSize, size - done);
    std::copy_n(block, take, out + done);
    done += take;
  }
  sodium_memzero(prk, sizeof prk);
  sodium_memzero(block, sizeof block);
  sodium_memzero(&state, sizeof state);
  return true;
}

}  // namespace age
