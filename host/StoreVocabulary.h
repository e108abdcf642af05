// The words the store and the host key share: the statuses every call of
// the store library returns (StoreStatus), the mode a store is written in
// (EncryptionMode) and the id of a host key (HostKeyId). Below both rooms
// of the library (docs/architecture.md), so neither includes the other for
// them; host/EnDecrypt.h includes it for its callers.
#ifndef HOST_STOREVOCABULARY_H_
#define HOST_STOREVOCABULARY_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <utility>

// The mode a store is written in: attended (a passphrase typed) or
// unattended (empty passphrase; the host key). The values are the mode byte
// of a store's header (docs/store-format.md).
enum EncryptionMode : std::uint8_t { kAttendedMode = 0, kUnattendedMode = 1 };

// Store statuses. Only the command's result mapping interprets them.
namespace endecrypt_status {
constexpr int kOk = 0;
constexpr int kNoCredential = 1;      // no key material to open the store
constexpr int kInvalidFile = 2;       // short, garbled, tampered or future-version file
constexpr int kWriteFailed = 3;       // the store could not be written
constexpr int kInternal = 4;          // the crypto library failed, or out of memory
constexpr int kReadFailed = 5;        // the store exists but could not be read
constexpr int kBadConfiguration = 6;  // a store setting in the configuration is unusable
constexpr int kNotExist = 7;          // no store at the path
constexpr int kModeConflict = 11;     // a call in the other mode than the store's
constexpr int kDeclined = 12;         // never the library's: encrypt's user declined an update
constexpr int kWrongPassphrase = 13;  // wrong passphrase or another host's key
constexpr int kRecordAbsent = 14;     // a record to read or remove is not in the store
constexpr int kBusy = 15;             // another change to the host key is running
constexpr int kKeyInUse = 16;         // a kept host key that a store is still sealed under
constexpr int kConflict = 17;         // records an edit changed were changed meanwhile by another
}  // namespace endecrypt_status

// The id of a host key: the first bytes of a keyed hash of it, which an
// unattended store's header carries to name the key it is sealed under
// (docs/store-format.md). Reveals nothing about the key. The ring names
// kept keys, and the console shows ids, by its hex form.
class HostKeyId {
 public:
  static constexpr std::size_t kSize = 8;

  HostKeyId() = default;
  // The id whose bytes are the kSize bytes at `bytes`.
  static HostKeyId FromBytes(const unsigned char* bytes) {
    HostKeyId id;
    std::memcpy(id.bytes.data(), bytes, kSize);
    return id;
  }

  const unsigned char* data() const { return bytes.data(); }
  unsigned char* data() { return bytes.data(); }

  // The digits of the hex form, lower case.
  static constexpr char kDigits[] = "0123456789abcdef";

  // The 2 * kSize lower-case hexadecimal digits of the id.
  std::string ToHex() const { return ToHex(bytes.data(), kSize); }
  // The lower-case hexadecimal digits of `size` bytes at `data`.
  static std::string ToHex(const unsigned char* data, std::size_t size) {
    std::string hex;
    hex.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
      hex.push_back(kDigits[data[i] >> 4]);
      hex.push_back(kDigits[data[i] & 0x0f]);
    }
    return hex;
  }

  // True when `text` is the hex form of an id, as ToHex writes it.
  static bool IsHex(const std::string& text) {
    return text.size() == kSize * 2 &&
           text.find_first_not_of(kDigits) == std::string::npos;
  }

  friend bool operator==(const HostKeyId& a, const HostKeyId& b) { return a.bytes == b.bytes; }
  friend bool operator!=(const HostKeyId& a, const HostKeyId& b) { return !(a == b); }

 private:
  std::array<unsigned char, kSize> bytes{};
};

// What a failure concerns, beside its text, so that a command can explain
// it without reading the configuration, the host key or the store again.
struct StoreCause {
  enum class Kind : std::uint8_t {
    kNone,            // the code says all
    kHostKey,         // the host key file at `path` is missing, refused or does not open
    kHostKeyNotHeld,  // the store is sealed under `key_id`, which this host neither holds nor keeps
    kKeptKeyDamaged,  // the ring keeps `key_id` at `path`, and that file does not open to it
  };
  Kind kind = Kind::kNone;
  std::string key_id;  // hex (HostKeyId::ToHex)
  std::string path;
};

// A store status and, for a failure met outside the library's own checks (a
// file refused or unreadable, a system error), its reason: what was refused
// and why, naming the file and the system's error, never a key or a value;
// and beside it, for a failure a command explains, its cause (StoreCause).
// The statuses above are its codes; any code is a status without a reason,
// and a status compares equal to its code. The command logs the reason
// where it decides its result; the code alone is taken out by name
// (GetCode), so a reason is never lost to a conversion nobody wrote.
class [[nodiscard]] StoreStatus {
 public:
  StoreStatus(int code = endecrypt_status::kOk) : code(code) {}
  StoreStatus(int code, std::string reason) : code(code), reason(std::move(reason)) {}
  StoreStatus(int code, std::string reason, StoreCause cause)
      : code(code), reason(std::move(reason)), cause(std::move(cause)) {}

  [[nodiscard]] int GetCode() const { return code; }
  [[nodiscard]] bool IsOk() const { return code == endecrypt_status::kOk; }
  // The questions a command asks of a failure it explains in its own words.
  [[nodiscard]] bool IsAbsent() const { return code == endecrypt_status::kNotExist; }
  [[nodiscard]] bool IsRecordAbsent() const { return code == endecrypt_status::kRecordAbsent; }
  [[nodiscard]] bool IsInvalidFile() const { return code == endecrypt_status::kInvalidFile; }
  [[nodiscard]] bool IsUnreadable() const { return code == endecrypt_status::kReadFailed; }
  [[nodiscard]] bool IsBusy() const { return code == endecrypt_status::kBusy; }
  [[nodiscard]] bool IsKeyInUse() const { return code == endecrypt_status::kKeyInUse; }
  [[nodiscard]] bool IsConflict() const { return code == endecrypt_status::kConflict; }
  // Why the call failed; empty when the code says all.
  [[nodiscard]] const std::string& GetReason() const { return reason; }
  // What the failure concerns; kNone when the code says all.
  [[nodiscard]] const StoreCause& GetCause() const { return cause; }
  // This status with `cause`, unless it has one already or is kOk.
  [[nodiscard]] StoreStatus WithCause(StoreCause added) && {
    if (code != endecrypt_status::kOk && cause.kind == StoreCause::Kind::kNone) {
      cause = std::move(added);
    }
    return std::move(*this);
  }

  friend bool operator==(const StoreStatus& status, int code) { return status.code == code; }
  friend bool operator!=(const StoreStatus& status, int code) { return status.code != code; }
  // The code, as the log lines that name a status print it.
  friend std::ostream& operator<<(std::ostream& out, const StoreStatus& status) {
    return out << status.code;
  }

 private:
  int code;
  std::string reason;
  StoreCause cause;
};

#endif  // HOST_STOREVOCABULARY_H_
