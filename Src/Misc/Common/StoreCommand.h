// The common part of the store administration commands (decrypt, list,
// verify, remove, rekey): the store comes from "--type settings|credentials"
// (placed by the location rules encrypt uses) or "--store PATH" (used as
// written), exactly one of them; it must exist and be in the run's mode
// ("--unattended" for the host key), and an attended store's passphrase is
// asked once before the command's own step runs.
// Driven from one thread by the host; holds no lock.
#ifndef SRC_MISC_COMMON_STORECOMMAND_H_
#define SRC_MISC_COMMON_STORECOMMAND_H_

#include <cstdint>
#include <map>
#include <string>

#include "Src/Misc/Common/StoreLocation.h"
#include "plugin/basic_app.h"

class EnDecrypt;

class StoreCommand : public basic_app {
 public:
  using RecordMap = std::map<std::string, std::string>;

  // The type when "--store" named the file.
  static constexpr FileType kNoType = -1;

  StoreCommand() = default;
  ~StoreCommand() override;

  // Keeps a copy of `context` and checks the store selection and the
  // command's own options (CheckOptions). A fault is printed on standard
  // error and returned as ERR_INVALID_PARAMETER.
  CommandResult SetParameters(const HostContext& context) override;
  CommandResult Run() override;

 protected:
  // The command's own option checks, after the store selection passed.
  [[nodiscard]] virtual uint32_t CheckOptions() { return 0; }
  // True when standard output carries the command's data: every prompt
  // and message of the run then goes to standard error.
  [[nodiscard]] virtual bool WritesDataToStandardOutput() const = 0;
  // The mode (an EncryptionMode) the store must be in to be opened.
  [[nodiscard]] virtual int ExpectedMode() const;
  // The command's step on `store`, once `path` and `passphrase` open it.
  [[nodiscard]] virtual uint32_t RunOnStore(EnDecrypt& store) = 0;

  [[nodiscard]] bool HasOption(const std::string& name) const;
  [[nodiscard]] std::string GetOption(const std::string& name) const;

  // A store status as the command's result: the status mapping encrypt
  // uses, except that a store gone missing is "File doesn't exist."
  [[nodiscard]] static uint32_t FromStoreStatus(int status);

  // Prints a usage fault on standard error; returns ERR_INVALID_PARAMETER.
  [[nodiscard]] static uint32_t RefuseOption(const std::string& message);

  HostContext context;
  FileType type = kNoType;
  std::string path;
  std::string passphrase;  // empty for an unattended store; wiped on destruction

 private:
  [[nodiscard]] uint32_t OpenProc();
};

#endif  // SRC_MISC_COMMON_STORECOMMAND_H_
