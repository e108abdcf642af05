#include "suite/endecrypt/StoreContext.h"

#include "suite/globalconfig/ConfigGeneration.h"

namespace endecrypt {

StoreContext::StoreContext(const StoreOptions& options)
    : files(options.files != nullptr ? *options.files : platform::SystemFiles()),
      handed(options.settings),
      lock_wait_seconds(options.lock_wait_seconds) {}

StoreSettings StoreContext::GetSettings() {
  StoreSettings settings;
  if (handed.has_value()) {
    settings = *handed;
  } else {
    const std::lock_guard<std::mutex> lock(guard);
    const unsigned long generation = ZUdurov::GetGlobalConfigGeneration();
    if (!read.has_value() || read_generation != generation) {
      read = ReadStoreSettings();
      read_generation = generation;
    }
    settings = *read;
  }
  if (lock_wait_seconds.has_value()) {
    settings.lock_wait_status = endecrypt_status::kOk;
    settings.lock_wait_seconds = *lock_wait_seconds;
  }
  return settings;
}

}  // namespace endecrypt
