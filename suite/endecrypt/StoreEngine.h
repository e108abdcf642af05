// A record store engine: the store's operations (those of host/EnDecrypt.h)
// run with what its options say: the file layer, the settings, the
// writers' lock wait, and the passphrase-derived keys it keeps between its
// calls. EnDecrypt::GetInstance() is the face of the process's engine, built
// from default options; a test builds engines of its own. An engine may be
// called from several threads; its file layer must outlive it.
#ifndef SUITE_ENDECRYPT_STOREENGINE_H_
#define SUITE_ENDECRYPT_STOREENGINE_H_

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/EnDecrypt.h"
#include "host/Export.h"
#include "host/StoreVocabulary.h"
#include "suite/endecrypt/StoreContext.h"

namespace endecrypt {

class ENDECRYPT_API StoreEngine {
  // Only Open and Default build an engine: the constructor asks for a key
  // no one else can make.
  struct BuildKey {
    explicit BuildKey() = default;
  };

 public:
  using ReadForUpdate = EnDecrypt::ReadForUpdate;
  using RecordViews = EnDecrypt::RecordViews;
  using StoreInfo = EnDecrypt::StoreInfo;

  // Builds in `engine` an engine with `options`. Returns kOk, or kInternal
  // when the crypto library cannot start; `engine` is untouched then.
  [[nodiscard]] static StoreStatus Open(const StoreOptions& options,
                                        std::unique_ptr<StoreEngine>& engine);

  // The process's engine, built from default options.
  static StoreEngine& Default();

  StoreEngine(BuildKey key, std::unique_ptr<StoreContext> owned);
  StoreEngine(const StoreEngine&) = delete;
  StoreEngine& operator=(const StoreEngine&) = delete;
  ~StoreEngine();

  // The operations of host/EnDecrypt.h, described there.
  [[nodiscard]] StoreStatus GetFileLastEncryptionMode(const std::string& path,
                                                      EncryptionMode& mode);
  [[nodiscard]] StoreStatus Decrypt(const std::string& path,
                                    std::map<std::string, std::string>& records,
                                    const std::string& passphrase, ReadForUpdate* keep);
  [[nodiscard]] StoreStatus ViewRecords(const std::string& path, const std::string& passphrase,
                                        const std::function<void(const RecordViews&)>& read,
                                        ReadForUpdate* keep);
  [[nodiscard]] StoreStatus Encrypt(const std::map<std::string, std::string>& records,
                                    const std::string& path, const std::string& passphrase,
                                    bool flag, ReadForUpdate* read);
  [[nodiscard]] StoreStatus Inspect(const std::string& path, const std::string& passphrase,
                                    StoreInfo& info);
  [[nodiscard]] StoreStatus ListKeys(const std::string& path, const std::string& passphrase,
                                     std::vector<std::string>& keys);
  [[nodiscard]] StoreStatus GetValue(const std::string& path, const std::string& passphrase,
                                     const std::string& key, std::string& value);
  [[nodiscard]] StoreStatus Remove(const std::string& path, const std::vector<std::string>& keys,
                                   const std::string& passphrase);
  [[nodiscard]] StoreStatus ApplyEdit(const std::string& path, const std::string& passphrase,
                                      const std::vector<std::string>& changed,
                                      const std::map<std::string, std::string>& before,
                                      const std::map<std::string, std::string>& after,
                                      std::vector<std::string>& conflicts);
  [[nodiscard]] StoreStatus Rekey(const std::string& path, const std::string& passphrase,
                                  const std::string& new_passphrase);

  // How many Argon2id runs this engine has made.
  unsigned long long GetKeyDerivationCount();

  // Wipes every passphrase-derived key this engine keeps, so its next call
  // on a store derives afresh as a new process would.
  void ForgetDerivedKeys();

  // Runs `operation` once the crypto library is started; an exception, or
  // a library that cannot start, becomes kInternal. Every entry point of
  // the library runs through here.
  [[nodiscard]] StoreStatus Run(const std::function<StoreStatus()>& operation);

  // What this engine hands the functions it calls (the host key's
  // administration runs on it too).
  StoreContext& GetContext() { return context; }

 private:
  const std::unique_ptr<StoreContext> owned;
  StoreContext& context;  // *owned
};

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_STOREENGINE_H_
