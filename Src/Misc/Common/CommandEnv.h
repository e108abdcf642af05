// What a command runs against besides its options: the record store and
// where typed keys come from. Left empty, a command takes the process's
// store, fetched again before each use, and the console; a test hands it a
// store on an engine of its own and a scripted keyboard. The caller keeps
// both alive while the command runs.
#ifndef SRC_MISC_COMMON_COMMANDENV_H_
#define SRC_MISC_COMMON_COMMANDENV_H_

#include "Src/Misc/Common/KeySource.h"
#include "host/EnDecrypt.h"

struct CommandEnv {
  EnDecrypt* store = nullptr;  // null: EnDecrypt::GetInstance()
  KeySource* keys = nullptr;   // null: ConsoleKeys()

  // The store to use now; null when the store library cannot start.
  EnDecrypt* GetStore() const { return store != nullptr ? store : EnDecrypt::GetInstance(); }
  KeySource& GetKeys() const { return keys != nullptr ? *keys : ConsoleKeys(); }
};

#endif  // SRC_MISC_COMMON_COMMANDENV_H_
