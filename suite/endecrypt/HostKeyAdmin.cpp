#include "suite/endecrypt/HostKeyAdmin.h"

#include <sodium.h>

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "suite/endecrypt/HostKey.h"
#include "suite/endecrypt/HostKeyBackup.h"
#include "suite/endecrypt/HostKeyProtection.h"
#include "suite/endecrypt/HostKeyRotation.h"
#include "suite/endecrypt/SecureBuffer.h"
#include "suite/endecrypt/StoreFiles.h"
#include "suite/endecrypt/StoreFormat.h"
#include "suite/endecrypt/StoreSettings.h"
#include "suite/utf8/Utf8Path.h"

namespace {

using endecrypt::FileResult;
using endecrypt::SecureBuffer;
namespace status = endecrypt_status;

std::string ToHex(const unsigned char* bytes, std::size_t size) {
  std::string hex(size * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), bytes, size);
  hex.pop_back();
  return hex;
}

const char* DescribeReadFailure(FileResult result) {
  switch (result) {
    case FileResult::kNotFound: return "there is no key file";
    case FileResult::kWrongSize: return "not a regular file of a host key's size";
    case FileResult::kUntrusted:
      return "not trusted: a link, another owner, or open to group or others (file or folder)";
    case FileResult::kBadPath: return "no file can be at the path";
    default: return "the file cannot be read";
  }
}

// How a key file's bytes say the key rests.
std::string ProtectionOf(const SecureBuffer& file) {
  if (file.size() == endecrypt::kHostKeySize) return "file";
  if (file.size() <= endecrypt::kSealedHeaderSize ||
      std::memcmp(file.data(), endecrypt::kSealedMagic, endecrypt::kSealedMagicSize) != 0) {
    return "unknown";
  }
  return endecrypt::GetProtectionName(
      static_cast<endecrypt::Protection>(file.data()[endecrypt::kSealedHeaderSize - 1]));
}

// The id of the key at `path` in hex, or empty when it does not open.
std::string KeyIdAt(const std::string& path) {
  SecureBuffer key;
  unsigned char id[endecrypt::kKeyIdSize];
  if (endecrypt::LoadHostKey(path, key) != status::kOk ||
      endecrypt::ComputeHostKeyId(key, id) != status::kOk) {
    return "";
  }
  return ToHex(id, sizeof(id));
}

[[nodiscard]] int DescribeHostKey(HostKeyFacts& facts) {
  HostKeyFacts found;
  int result = endecrypt::ReadHostKeyPath(found.path);
  if (result != status::kOk) {
    found.problem = "the configuration names no usable host key path";
    facts = found;
    return result;
  }
  SecureBuffer file;
  const FileResult read = endecrypt::ReadSecretFile(found.path, endecrypt::kHostKeySize,
                                                    endecrypt::kMaxHostKeyFileSize, file);
  result = status::kNoCredential;
  if (read != FileResult::kOk) {
    found.problem = DescribeReadFailure(read);
  } else {
    found.protection = ProtectionOf(file);
    found.key_id = KeyIdAt(found.path);
    if (found.key_id.empty()) {
      found.problem = "the key does not open (the log says why)";
    } else {
      result = status::kOk;
    }
  }
  const std::string old_id = KeyIdAt(endecrypt::GetOldHostKeyPath(found.path));
  if (old_id != found.key_id) found.old_key_id = old_id;
  facts = found;
  return result;
}

[[nodiscard]] int ReadStoreKeyId(const std::string& path, int& mode, std::string& key_id) {
  std::vector<unsigned char> file;
  endecrypt::StoreHeader header;
  switch (endecrypt::ReadWholeFile(path, endecrypt::kMaxStoreSize, file)) {
    case FileResult::kOk: break;
    case FileResult::kNotFound: return status::kNotExist;
    case FileResult::kWrongSize: return status::kInvalidFile;
    default: return status::kReadFailed;
  }
  const int result = endecrypt::DecodeHeader(file.data(), file.size(), header);
  if (result != status::kOk) return result;
  mode = header.mode;
  key_id = header.mode == kUnattendedMode ? ToHex(header.key_id, sizeof(header.key_id))
                                                     : "";
  return status::kOk;
}

[[nodiscard]] int SealHostKeyAs(const std::string& name) {
  endecrypt::ProtectionSettings settings;
  std::string path;
  SecureBuffer key;
  int result = endecrypt::ReadProtectionSettings(settings);
  if (result == status::kOk && !endecrypt::ParseProtectionName(name, settings.protection)) {
    result = status::kBadConfiguration;
  }
  if (result == status::kOk) result = endecrypt::ReadHostKeyPath(path);
  if (result == status::kOk) result = endecrypt::LoadHostKey(path, key);
  if (result != status::kOk) return result;
  return endecrypt::WriteHostKeyFile(path, settings, key, true);
}

[[nodiscard]] int EndRotation() {
  std::string path;
  const int result = endecrypt::ReadHostKeyPath(path);
  if (result != status::kOk) return result;
  boost::system::error_code error;
  boost::filesystem::remove(utf8::MakePath(endecrypt::GetOldHostKeyPath(path)), error);
  return error ? status::kWriteFailed : status::kOk;
}

[[nodiscard]] int BackupHostKey(const std::string& output, const std::string& passphrase) {
  std::string path;
  SecureBuffer key;
  endecrypt::KdfCosts costs;
  int result = endecrypt::ReadHostKeyPath(path);
  if (result == status::kOk) result = endecrypt::LoadHostKey(path, key);
  if (result == status::kOk) result = endecrypt::ReadKdfCosts(costs);
  if (result != status::kOk) return result;
  // The backup may travel and be attacked offline for years: never below
  // the defaults, even when the configuration lowers the stores' costs.
  costs.opslimit = std::max(costs.opslimit, endecrypt::kDefaultOpsLimit);
  costs.memlimit = std::max(costs.memlimit, endecrypt::kDefaultMemLimit);
  unsigned char salt[endecrypt::kSaltSize];
  unsigned char nonce[endecrypt::kNonceSize];
  randombytes_buf(salt, sizeof(salt));
  randombytes_buf(nonce, sizeof(nonce));
  std::vector<unsigned char> backup;
  result = endecrypt::WrapHostKey(key, passphrase, costs, salt, nonce, backup);
  if (result != status::kOk) return result;
  return endecrypt::CreateFileAtomically(output, backup.data(), backup.size()) == FileResult::kOk
             ? status::kOk
             : status::kWriteFailed;
}

[[nodiscard]] int RestoreHostKey(const std::string& input, const std::string& passphrase,
                                 const std::string& name, bool force) {
  endecrypt::ProtectionSettings settings;
  std::string path;
  std::vector<unsigned char> backup;
  SecureBuffer key;
  int result = endecrypt::ReadProtectionSettings(settings);
  if (result == status::kOk && !name.empty() &&
      !endecrypt::ParseProtectionName(name, settings.protection)) {
    result = status::kBadConfiguration;
  }
  if (result == status::kOk) result = endecrypt::ReadHostKeyPath(path);
  if (result != status::kOk) return result;
  switch (endecrypt::ReadWholeFile(input, endecrypt::kBackupSize, backup)) {
    case FileResult::kOk: break;
    case FileResult::kNotFound: return status::kNotExist;
    case FileResult::kWrongSize: return status::kInvalidFile;
    default: return status::kReadFailed;
  }
  result = endecrypt::UnwrapHostKey(backup.data(), backup.size(), passphrase, key);
  if (result != status::kOk) return result;
  return endecrypt::WriteHostKeyFile(path, settings, key, force);
}

// Nothing escapes the library as an exception.
template <typename Operation>
[[nodiscard]] int Guarded(Operation operation) {
  if (EnDecrypt::GetInstance() == nullptr) return status::kInternal;
  try {
    return operation();
  } catch (const std::exception&) {
    return status::kInternal;
  }
}

}  // namespace

int EnDecryptDescribeHostKey(HostKeyFacts& facts) {
  return Guarded([&] { return DescribeHostKey(facts); });
}

int EnDecryptReadStoreKeyId(const std::string& path, int& mode, std::string& key_id) {
  return Guarded([&] { return ReadStoreKeyId(path, mode, key_id); });
}

int EnDecryptSealHostKeyAs(const std::string& protection) {
  return Guarded([&] { return SealHostKeyAs(protection); });
}

int EnDecryptBeginHostKeyRotation(bool& resumed) {
  return Guarded([&] {
    std::string path;
    const int result = endecrypt::ReadHostKeyPath(path);
    return result == status::kOk ? endecrypt::BeginRotation(path, resumed) : result;
  });
}

int EnDecryptEndHostKeyRotation() {
  return Guarded([] { return EndRotation(); });
}

int EnDecryptBackupHostKey(const std::string& output, const std::string& passphrase) {
  return Guarded([&] { return BackupHostKey(output, passphrase); });
}

int EnDecryptRestoreHostKey(const std::string& input, const std::string& passphrase,
                            const std::string& protection, bool force) {
  return Guarded([&] { return RestoreHostKey(input, passphrase, protection, force); });
}
