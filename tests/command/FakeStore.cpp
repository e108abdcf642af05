#include "tests/command/FakeStore.h"

#include <filesystem>

#if defined(__linux__)
#include <sys/prctl.h>
#include <sys/resource.h>
#endif

#include "host/EnDecrypt.h"
#include "suite/endecrypt/HostKeyAdmin.h"
#include "suite/secretmemory/SecretMemory.h"

namespace {

bool CoreDumpsOff() {
#if defined(__linux__)
  rlimit limit{};
  return ::prctl(PR_GET_DUMPABLE) == 0 && ::getrlimit(RLIMIT_CORE, &limit) == 0 &&
         limit.rlim_cur == 0;
#else
  return true;
#endif
}

}  // namespace

namespace fake_store {

Script& Get() {
  static Script script;
  return script;
}

void Reset() { Get() = Script{}; }

}  // namespace fake_store

EnDecrypt::EnDecrypt() = default;
EnDecrypt::~EnDecrypt() = default;

struct EnDecrypt::ReadForUpdate::Held {};  // the scripted store keeps nothing
EnDecrypt::ReadForUpdate::ReadForUpdate() = default;
EnDecrypt::ReadForUpdate::~ReadForUpdate() = default;

EnDecrypt* EnDecrypt::GetInstance() {
  static EnDecrypt instance;
  return fake_store::Get().null_instance ? nullptr : &instance;
}

StoreStatus EnDecrypt::GetFileLastEncryptionMode(const std::string& path, EncryptionMode& mode) {
  fake_store::Script& script = fake_store::Get();
  script.calls.push_back("mode " + path);
  // Nothing at the path is the library's "absent", whatever the script says.
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return endecrypt_status::kNotExist;
  if (script.mode) mode = *script.mode;
  return script.mode_status;
}

StoreStatus EnDecrypt::Decrypt(const std::string& path,
                               std::map<std::string, std::string>& records,
                               const std::string& passphrase, ReadForUpdate*) {
  fake_store::Script& script = fake_store::Get();
  script.calls.push_back("decrypt " + path);
  script.passphrases.push_back(passphrase);
  if (script.decrypt_status == 0) records = script.stored;
  return script.decrypt_status;
}

StoreStatus EnDecrypt::ViewRecords(const std::string& path, const std::string& passphrase,
                                   const std::function<void(const RecordViews&)>& read,
                                   ReadForUpdate* keep) {
  std::map<std::string, std::string> records;
  const ScopedWipe wipe(records);  // a test may watch freed memory for secrets
  fake_store::Get().kept = keep;
  const StoreStatus result = Decrypt(path, records, passphrase, keep);
  if (result != 0) return result;
  read(RecordViews(records.begin(), records.end()));
  return result;
}

StoreStatus EnDecrypt::Encrypt(const std::map<std::string, std::string>& records,
                               const std::string& path, const std::string& passphrase,
                               const bool& flag, ReadForUpdate* read) {
  fake_store::Script& script = fake_store::Get();
  script.write_took_read = read != nullptr && read == script.kept;
  script.calls.push_back("encrypt " + path);
  script.passphrases.push_back(passphrase);
  script.flag = flag;
  WipeValues(script.written);  // a test may watch freed memory for secrets
  script.written = records;
  script.dumps_off_at_write = CoreDumpsOff();
  return script.encrypt_status;
}

// import reaches the host's identities through these; its runs here give
// --identity, so they are never asked.
StoreStatus EnDecryptOpenAgeFile(const unsigned char*, std::size_t, const AgePlaintextReader&,
                                 age::AgeStatus& reason, std::vector<std::string>&) {
  reason = age::AgeStatus::kInternal;
  return endecrypt_status::kInternal;
}

StoreStatus EnDecryptDescribeHostKey(HostKeyFacts& facts) {
  facts = HostKeyFacts{};
  return endecrypt_status::kInternal;
}

StoreStatus EnDecryptGetHostKeyPath(std::string&) { return endecrypt_status::kInternal; }

// The store commands' frame explains an unheld host key through this; the
// commands run here are encrypt and import, which never ask.
StoreStatus EnDecryptReadStoreKeyId(const std::string&, EncryptionMode&, std::string&) {
  return endecrypt_status::kInternal;
}
