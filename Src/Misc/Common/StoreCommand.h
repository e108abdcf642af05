// The common part of the store commands (decrypt, export, get, set, edit,
// list, verify, remove, rekey), on the frame of every command: the store comes
// from "--type settings|credentials" (placed by the location rules encrypt
// uses) or "--store PATH" (used as written), as the table of commands
// requires; the store's own mode is taken ("--unattended" only insists on
// the host key), and an attended store's passphrase is asked once (from the
// console or "--passphrase-file") before the command's own step runs. A
// command may create an absent store (set).
// Driven from one thread by the host; holds no lock.
#ifndef SRC_MISC_COMMON_STORECOMMAND_H_
#define SRC_MISC_COMMON_STORECOMMAND_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Src/Misc/Common/CommandFrame.h"
#include "Src/Misc/Common/OpenStore.h"
#include "Src/Misc/Common/StoreLocation.h"

class EnDecrypt;

class StoreCommand : public CommandFrame {
 public:
  using RecordMap = std::map<std::string, std::string>;

  // The type when "--store" named the file.
  static constexpr FileType kNoType = -1;

  using CommandFrame::CommandFrame;
  ~StoreCommand() override;

  // As CommandFrame's, with the store selection read first: the command's
  // own checks (CheckOptions) see `type`.
  CommandResult SetParameters(const HostContext& context) override;

 protected:
  // True when standard output carries the command's data: every prompt
  // and message of the run then goes to standard error.
  [[nodiscard]] virtual bool WritesDataToStandardOutput() const = 0;
  // The mode the store must be in to be opened, or none to take the
  // store's own; also the mode of a new store (none: attended).
  [[nodiscard]] virtual std::optional<EncryptionMode> ExpectedMode() const;
  // Checks that need the store's `mode` and must come before any prompt.
  // Setting `finished` here ends the run at once, with success and the
  // store untouched: there is nothing to do.
  [[nodiscard]] virtual uint32_t CheckBeforePrompt(EncryptionMode mode) {
    static_cast<void>(mode);
    return 0;
  }
  // The command's step on `store`, once `path` and `passphrase` open it.
  [[nodiscard]] virtual uint32_t RunOnStore(EnDecrypt& store) = 0;
  // True when the command makes the store if it is absent (store_is_new is
  // then set, and a new attended store's passphrase is asked twice).
  [[nodiscard]] virtual bool MayCreateStore() const { return false; }

  // How the prompt names the store's passphrase; null for "passphrase".
  [[nodiscard]] virtual const char* PassphraseName() const { return nullptr; }

  // The passphrase of the store at `path` into `entered`: the first line of
  // "--passphrase-file" when given, else typed at the console (twice for a
  // `new_store`). `entered` is untouched on failure.
  [[nodiscard]] uint32_t ObtainPassphrase(bool new_store, std::string& entered) const;

  // True when the store is in the credentials form (PlainText.h,
  // FormOfStore): a "--type credentials" store, or a "--store" file with
  // records that are all the user or password of a target with both.
  [[nodiscard]] bool IsCredentialStore(const std::vector<std::string>& keys) const;
  [[nodiscard]] bool IsCredentialStore(const RecordMap& records) const;

  // FromStoreStatus of a read of the store at `path`; a failure is logged
  // as the store's file not read.
  [[nodiscard]] uint32_t FromReadStatus(const StoreStatus& status) const;

  // CommandFrame::FromStoreStatus, keeping what a failure concerns
  // (StoreCause), with which OpenProc explains a host key that did not open
  // the store.
  [[nodiscard]] uint32_t FromStoreStatus(const StoreStatus& status) const;

  // Replaces `records` by every record of the store at `path`, opened with
  // `passphrase`, and returns FromReadStatus of the result. `records` is
  // untouched on failure.
  [[nodiscard]] uint32_t ReadStoredRecords(EnDecrypt& store, RecordMap& records) const;

  // The store's plaintext file, as decrypt writes it, in `text` (which the
  // caller wipes): ReadStoredRecords, then FormatPlainText.
  [[nodiscard]] uint32_t ReadStoreText(EnDecrypt& store, std::string& text) const;

  // The plaintext file of `records`, as encrypt reads it back, in `text`,
  // in the store's form (PlainText.h, FormOfStore); `credentials` tells
  // whether that is the credentials form. A store whose records the form
  // cannot carry (a record that fits no target of a credentials store, or
  // bytes that are not text) is logged, named on the console and refused
  // with ERR_ENCRYPTED_FILE_INVALID.
  [[nodiscard]] uint32_t FormatPlainText(const RecordMap& records, std::string& text,
                                         bool& credentials) const;
  // The same for a text that leaves the command (decrypt, export): one
  // that encrypt and import would decline (an empty credentials store) is
  // also said so on the console.
  [[nodiscard]] uint32_t FormatPlainText(const RecordMap& records, std::string& text) const;

  FileType type = kNoType;
  std::string path;
  std::string passphrase;  // empty for an unattended store; wiped on destruction
  bool store_is_new = false;  // MayCreateStore() and no store was at `path`
  bool finished = false;      // CheckBeforePrompt found nothing to do
  std::optional<EncryptionMode> store_mode;  // the mode the store was opened in, once known

  // The store located and opened, then RunOnStore; a command may wrap it.
  [[nodiscard]] uint32_t RunCommand() override;

 private:
  // The cause of the last store failure FromStoreStatus mapped.
  mutable StoreCause store_cause;
  [[nodiscard]] uint32_t OpenProc();
};

// The keys of `records`, in their order: names only, for the audit line.
[[nodiscard]] std::vector<std::string> KeysOf(const StoreCommand::RecordMap& records);

// "<target>/user" or "<target>/password" with a non-empty target.
[[nodiscard]] bool IsCredentialKey(const std::string& key);

#endif  // SRC_MISC_COMMON_STORECOMMAND_H_
