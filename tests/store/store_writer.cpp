// A writer of the store in a process of its own, started by the store tests:
//
//   store_writer add STORE PASSPHRASE WRITER COUNT
//       adds AddedKey(WRITER, i) for i below COUNT, one write each, keeping
//       what is stored; exits 0 when every write succeeded, else 1.
//   store_writer churn STORE PASSPHRASE
//       replaces the store by SecondStore and FirstStore in turn until it
//       is killed, ignoring failures.
//
// An empty PASSPHRASE writes unattended. The configuration is the one the
// environment names, inherited from the test. Exits 2 on any other usage.
#include <string>
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

[[noreturn]] void Churn(const std::string& path, const std::string& passphrase) {
  const store_writer::Records sets[] = {store_writer::SecondStore(), store_writer::FirstStore()};
  for (unsigned i = 0;; ++i) {
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
  if (args.size() == 3 && args[0] == "churn") Churn(args[1], args[2]);
  return kUsage;
}
