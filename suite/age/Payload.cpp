#include "suite/age/AgeInternal.h"

#include <sodium.h>

#include <algorithm>
#include <utility>

namespace age {
namespace {

static_assert(kTagSize == crypto_aead_chacha20poly1305_ietf_ABYTES);
constexpr std::size_t kPayloadKeySize = crypto_aead_chacha20poly1305_ietf_KEYBYTES;
constexpr std::size_t kChunkNonceSize = crypto_aead_chacha20poly1305_ietf_NPUBBYTES;
constexpr std::string_view kPayloadInfo = "payload";

// The chunk's nonce: its number, big-endian in the first 11 bytes, then 1
// for the final chunk and 0 for the others.
void MakeChunkNonce(std::uint64_t counter, bool last, unsigned char* nonce) {
  std::fill_n(nonce, kChunkNonceSize, 0);
  for (std::size_t i = 0; i < sizeof counter; ++i) {
    nonce[kChunkNonceSize - 2 - i] = static_cast<unsigned char>(counter >> (8 * i));
  }
  nonce[kChunkNonceSize - 1] = last ? 1 : 0;
}

bool OpenChunk(const unsigned char* key, std::uint64_t counter, bool last,
               const unsigned char* in, std::size_t size, unsigned char* out) {
  unsigned char nonce[kChunkNonceSize];
  MakeChunkNonce(counter, last, nonce);
  return crypto_aead_chacha20poly1305_ietf_decrypt(out, nullptr, nullptr, in, size, nullptr, 0,
                                                   nonce, key) == 0;
}

// The plaintext bytes of a payload of `size` bytes after the nonce, cut
// into chunks as the reader below does: full ones while more follows, then
// the rest. Room for every chunk the reader may open.
std::size_t PlaintextSize(std::size_t size) {
  const std::size_t full = size == 0 ? 0 : (size - 1) / kSealedChunkSize;
  const std::size_t last = size - full * kSealedChunkSize;
  return full * kChunkSize + (last > kTagSize ? last - kTagSize : 0);
}

}  // namespace

bool DerivePayloadKey(const unsigned char* file_key, const unsigned char* nonce,
                      unsigned char* key) {
  return DeriveHkdfSha256(file_key, kFileKeySize, nonce, kPayloadNonceSize, kPayloadInfo, key,
                          kPayloadKeySize);
}

bool SealChunk(const unsigned char* key, std::uint64_t counter, bool last,
               const unsigned char* in, std::size_t size, unsigned char* out) {
  unsigned char nonce[kChunkNonceSize];
  MakeChunkNonce(counter, last, nonce);
  return crypto_aead_chacha20poly1305_ietf_encrypt(out, nullptr, in, size, nullptr, 0, nullptr,
                                                   nonce, key) == 0;
}

bool SealPayload(const unsigned char* file_key, const unsigned char* plaintext, std::size_t size,
                 std::vector<unsigned char>& file) {
  // An empty plaintext still has one chunk: an empty final one.
  const std::size_t chunks = std::max<std::size_t>(1, (size + kChunkSize - 1) / kChunkSize);
  const std::size_t start = file.size();
  file.resize(start + kPayloadNonceSize + size + chunks * kTagSize);
  unsigned char* out = file.data() + start;
  randombytes_buf(out, kPayloadNonceSize);
  unsigned char key[kPayloadKeySize];
  bool sealed = DerivePayloadKey(file_key, out, key);
  out += kPayloadNonceSize;
  for (std::size_t i = 0; sealed && i < chunks; ++i) {
    const std::size_t length = std::min(kChunkSize, size - i * kChunkSize);
    sealed = SealChunk(key, i, i + 1 == chunks, plaintext + i * kChunkSize, length, out);
    out += length + kTagSize;
  }
  sodium_memzero(key, sizeof key);
  return sealed;
}

AgeStatus OpenPayload(const unsigned char* file_key, const unsigned char* data, std::size_t size,
                      SecretBytes& plaintext) {
  if (size < kPayloadNonceSize) return AgeStatus::kTruncated;
  const unsigned char* sealed = data + kPayloadNonceSize;
  const std::size_t sealed_size = size - kPayloadNonceSize;
  if (PlaintextSize(sealed_size) > kMaxPlaintextSize) return AgeStatus::kTooLarge;
  SecretBytes opened;
  unsigned char key[kPayloadKeySize];
  if (!opened.Allocate(PlaintextSize(sealed_size)) || !DerivePayloadKey(file_key, data, key)) {
    sodium_memzero(key, sizeof key);
    return AgeStatus::kInternal;
  }
  // Chunks are told apart by size alone: every chunk but the last is full.
  // A full chunk with more behind it must open as a non-final one; the
  // last must open as the final one. Trying the other flag when one fails
  // tells a file cut after a full chunk, or one with bytes after its final
  // chunk, from a damaged chunk.
  AgeStatus status = AgeStatus::kOk;
  std::size_t offset = 0;
  unsigned char* out = opened.data();
  for (std::uint64_t counter = 0;; ++counter) {
    const std::size_t left = sealed_size - offset;
    const unsigned char* in = sealed + offset;
    if (left > kSealedChunkSize) {
      if (OpenChunk(key, counter, false, in, kSealedChunkSize, out)) {
        offset += kSealedChunkSize;
        out += kChunkSize;
        continue;
      }
      status = OpenChunk(key, counter, true, in, kSealedChunkSize, out) ? AgeStatus::kTrailingData
                                                                        : AgeStatus::kBadChunk;
    } else if (left < kTagSize) {
      status = AgeStatus::kTruncated;
    } else if (OpenChunk(key, counter, true, in, left, out)) {
      if (left == kTagSize && counter > 0) status = AgeStatus::kEmptyLastChunk;
    } else {
      status = left == kSealedChunkSize && OpenChunk(key, counter, false, in, left, out)
                   ? AgeStatus::kTruncated
                   : AgeStatus::kBadChunk;
    }
    break;
  }
  sodium_memzero(key, sizeof key);
  if (status == AgeStatus::kOk) plaintext = std::move(opened);
  return status;
}

}  // namespace age
