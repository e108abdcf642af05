// What one store engine runs with: the file layer, the store settings, the
// writers' lock wait and the passphrase-derived keys it keeps between calls.
// An engine is built from StoreOptions and owns its context; it hands the
// context to each function it calls, and so on down: the file layer's calls
// (StoreFiles), the settings' readers (StoreSettings) and the host key
// (HostKey, HostKeyRing) take it as their first argument. Thread-safe.
#ifndef SUITE_ENDECRYPT_STORECONTEXT_H_
#define SUITE_ENDECRYPT_STORECONTEXT_H_

#include <mutex>
#include <optional>

#include "suite/endecrypt/KeyDerivation.h"
#include "suite/endecrypt/StoreSettings.h"
#include "suite/platform/FileSystem.h"

namespace endecrypt {

// How an engine is built. Every member left as it is keeps what a process
// gets without being told: the system's file layer and the settings of
// the global configuration's current load.
struct StoreOptions {
  // Every file the engine touches (stores, the host key and its ring,
  // backups, the OpenSSH host key) goes through this layer, which must
  // outlive the engine; null: the system's.
  platform::FileSystem* files = nullptr;
  // The settings to use instead of reading the configuration.
  std::optional<StoreSettings> settings;
  // How long a writer waits for a store's writers' lock, instead of what
  // the settings say.
  std::optional<int> lock_wait_seconds;
};

class StoreContext {
 public:
  explicit StoreContext(const StoreOptions& options);
  StoreContext(const StoreContext&) = delete;
  StoreContext& operator=(const StoreContext&) = delete;

  platform::FileSystem& GetFiles() const { return files; }

  // The settings in force: those handed, else those of the current load of
  // the configuration, read at the first call that needs one after it.
  StoreSettings GetSettings();

  DerivedKeys& GetDerivedKeys() { return derived_keys; }

 private:
  platform::FileSystem& files;
  const std::optional<StoreSettings> handed;
  const std::optional<int> lock_wait_seconds;
  std::mutex guard;
  std::optional<StoreSettings> read;  // guarded by guard
  unsigned long read_generation = 0;  // guarded by guard
  DerivedKeys derived_keys;
};

}  // namespace endecrypt

#endif  // SUITE_ENDECRYPT_STORECONTEXT_H_
