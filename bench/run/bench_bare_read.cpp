// A bare read of an unattended store: the store library's Decrypt and
// nothing else, in a process of its own, as the floor for list and verify.
// Usage: bench_bare_read STORE
#include <cstdio>
#include <map>
#include <string>

#include "host/EnDecrypt.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::map<std::string, std::string> records;
  const StoreStatus status = EnDecrypt::GetInstance()->Decrypt(argv[1], records, "");
  if (status != 0) {
    std::fprintf(stderr, "read failed: %d %s\n", status.GetCode(), status.GetReason().c_str());
  }
  return status.GetCode();
}
