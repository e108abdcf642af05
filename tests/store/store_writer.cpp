// A writer of the store in a process of its own, for the store tests
// (configuration inherited; an empty PASSPHRASE writes unattended):
//   add STORE PASSPHRASE WRITER COUNT: adds AddedKey(WRITER, i), i < COUNT,
//       one write each; exits 0 when all succeeded.
#include <string>
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

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  EnDecrypt* store = EnDecrypt::GetInstance();
  if (store == nullptr) return 1;
  if (args.size() == 5 && args[0] == "add") {
    return Add(*store, args[1], args[2], std::stoi(args[3]), std::stoi(args[4]));
  }
  return 2;  // usage
}
