// A scripted, in-memory stand-in for the encrypted record store, linked into
// command tests in place of the real library. Each test sets the answers
// and reads back what the command asked for.
#ifndef TESTS_COMMAND_FAKESTORE_H_
#define TESTS_COMMAND_FAKESTORE_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/EnDecrypt.h"

namespace fake_store {

struct Script {
  bool null_instance = false;
  int mode_status = 0;
  std::optional<EncryptionMode> mode;  // left unset: the query does not touch the mode
  int decrypt_status = 0;
  std::map<std::string, std::string> stored;
  int encrypt_status = 0;

  // What the command did.
  std::vector<std::string> calls;  // "mode", "decrypt", "encrypt" with the path
  std::vector<std::string> passphrases;
  std::optional<bool> flag;
  std::map<std::string, std::string> written;  // the records of the last write
  bool dumps_off_at_write = false;  // core dumps were off when the command wrote
  const void* kept = nullptr;        // where the last decryption kept what it opened
  bool write_took_read = false;      // the write was handed that decryption
};

// The script of the current test; Reset() before each.
Script& Get();
void Reset();

}  // namespace fake_store

#endif  // TESTS_COMMAND_FAKESTORE_H_
