// A writer of the store in a process of its own, started by the store tests:
//
//   store_writer add STORE PASSPHRASE WRITER COUNT
//       adds AddedKey(WRITER, i) for i below COUNT, one write each, keeping
//       what is stored; exits 0 when every write succeeded, else 1.
//   store_writer churn STORE PASSPHRASE SEED
//       replaces the store by SecondStore and FirstStore in turn, and kills
//       itself, as `kill -9` or a crash would, at a moment drawn from SEED
//       within 5 ms after its first write.
//
// An empty PASSPHRASE writes unattended. The configuration is the one the
// environment names, inherited from the test. Exits 2 on any other usage.
#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#endif

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/EnDecrypt.h"
#include "tests/store/StoreWriter.h"

namespace {

constexpr int kUsage = 2;

int Add(const std::string& path, const std::string& passphrase, int writer, int count) {
  for (int i = 0; i < count; ++i) {
    const store_writer::Records added{{store_writer::AddedKey(writer, i), "v"}};
    if (EnDecrypt::GetInstance()->Encrypt(added, path, passphrase, true) != 0) return 1;
  }
  return 0;
}

[[noreturn]] void KillSelf() {
#if defined(_WIN32)
  ::TerminateProcess(::GetCurrentProcess(), 137);
#else
  ::raise(SIGKILL);
#endif
  std::abort();  // not reached
}

[[noreturn]] void Churn(const std::string& path, const std::string& passphrase, unsigned seed) {
  const store_writer::Records sets[] = {store_writer::SecondStore(), store_writer::FirstStore()};
  static_cast<void>(EnDecrypt::GetInstance()->Encrypt(sets[0], path, passphrase, false));
  std::mt19937 random(seed);
  std::thread([delay = random() % 5000] {
    std::this_thread::sleep_for(std::chrono::microseconds(delay));
    KillSelf();
  }).detach();
  for (unsigned i = 1;; ++i) {
    static_cast<void>(EnDecrypt::GetInstance()->Encrypt(sets[i % 2], path, passphrase, false));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (EnDecrypt::GetInstance() == nullptr) return 1;
  if (args.size() == 5 && args[0] == "add") {
    return Add(args[1], args[2], std::stoi(args[3]), std::stoi(args[4]));
  }
  if (args.size() == 4 && args[0] == "churn") Churn(args[1], args[2], std::stoul(args[3]));
  return kUsage;
}
