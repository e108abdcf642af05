// A writer of the store in a process of its own, for the store tests
// (configuration inherited; an empty PASSPHRASE writes unattended):
//   add STORE PASSPHRASE WRITER COUNT: adds AddedKey(WRITER, i), i < COUNT,
//       one write each; exits 0 when all succeeded.
//   churn STORE PASSPHRASE SEED: writes SecondStore and FirstStore in turn,
//       rekeying after each, and kills itself within 5 ms (drawn from SEED).
#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#endif

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/EnDecrypt.h"
#include "tests/store/StoreWriter.h"

namespace {

int Add(EnDecrypt& store, const std::string& path, const std::string& passphrase, int writer,
        int count) {
  for (int i = 0; i < count; ++i) {
    const store_writer::Records added{{store_writer::AddedKey(writer, i), "v"}};
    if (store.Encrypt(added, path, passphrase, true) != 0) return 1;
  }
  return 0;
}

[[noreturn]] void Churn(EnDecrypt& store, const std::string& path, const std::string& passphrase,
                        unsigned seed) {
  const store_writer::Records sets[] = {store_writer::SecondStore(), store_writer::FirstStore()};
  static_cast<void>(store.Encrypt(sets[0], path, passphrase, false));
  std::thread([delay = std::mt19937(seed)() % 5000] {
    std::this_thread::sleep_for(std::chrono::microseconds(delay));
#if defined(_WIN32)
    ::TerminateProcess(::GetCurrentProcess(), 137);  // as `kill -9` or a crash would
#else
    ::raise(SIGKILL);
#endif
  }).detach();
  for (unsigned i = 1;; ++i) {
    static_cast<void>(store.Encrypt(sets[i % 2], path, passphrase, false));
    static_cast<void>(store.Rekey(path, passphrase, passphrase));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  EnDecrypt* store = EnDecrypt::GetInstance();
  if (store == nullptr) return 1;
  if (args.size() == 5 && args[0] == "add") {
    return Add(*store, args[1], args[2], std::stoi(args[3]), std::stoi(args[4]));
  }
  if (args.size() == 4 && args[0] == "churn") Churn(*store, args[1], args[2], std::stoul(args[3]));
  return 2;  // usage
}
