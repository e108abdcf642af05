// EnDecrypt, the face host/EnDecrypt.h shows the commands: each operation is
// its engine's.
#include "host/EnDecrypt.h"

#include "suite/endecrypt/LibraryStart.h"
#include "suite/endecrypt/StoreEngine.h"

EnDecrypt::EnDecrypt(endecrypt::StoreEngine& engine) : engine(engine) {}

EnDecrypt* EnDecrypt::GetInstance() {
  static EnDecrypt instance(endecrypt::StoreEngine::Default());
  return endecrypt::StartLibrary() ? &instance : nullptr;
}

StoreStatus EnDecrypt::GetFileLastEncryptionMode(const std::string& path, EncryptionMode& mode) {
  return engine.GetFileLastEncryptionMode(path, mode);
}

StoreStatus EnDecrypt::Decrypt(const std::string& path, std::map<std::string, std::string>& records,
                               const std::string& passphrase, ReadForUpdate* keep) {
  return engine.Decrypt(path, records, passphrase, keep);
}

StoreStatus EnDecrypt::ViewRecords(const std::string& path, const std::string& passphrase,
                                   const std::function<void(const RecordViews&)>& read,
                                   ReadForUpdate* keep) {
  return engine.ViewRecords(path, passphrase, read, keep);
}

StoreStatus EnDecrypt::Encrypt(const std::map<std::string, std::string>& records,
                               const std::string& path, const std::string& passphrase,
                               const bool& flag, ReadForUpdate* read) {
  return engine.Encrypt(records, path, passphrase, flag, read);
}

StoreStatus EnDecrypt::Inspect(const std::string& path, const std::string& passphrase,
                               StoreInfo& info) {
  return engine.Inspect(path, passphrase, info);
}

StoreStatus EnDecrypt::ListKeys(const std::string& path, const std::string& passphrase,
                                std::vector<std::string>& keys) {
  return engine.ListKeys(path, passphrase, keys);
}

StoreStatus EnDecrypt::GetValue(const std::string& path, const std::string& passphrase,
                                const std::string& key, std::string& value) {
  return engine.GetValue(path, passphrase, key, value);
}

StoreStatus EnDecrypt::Remove(const std::string& path, const std::vector<std::string>& keys,
                              const std::string& passphrase) {
  return engine.Remove(path, keys, passphrase);
}

StoreStatus EnDecrypt::ApplyEdit(const std::string& path, const std::string& passphrase,
                                 const std::vector<std::string>& changed,
                                 const std::map<std::string, std::string>& before,
                                 const std::map<std::string, std::string>& after,
                                 std::vector<std::string>& conflicts) {
  return engine.ApplyEdit(path, passphrase, changed, before, after, conflicts);
}

StoreStatus EnDecrypt::Rekey(const std::string& path, const std::string& passphrase,
                             const std::string& new_passphrase) {
  return engine.Rekey(path, passphrase, new_passphrase);
}
