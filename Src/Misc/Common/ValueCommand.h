// The frame of the commands that hand stored values onward (exec, render).
// A value is named TYPE:KEY: the store type as "--type" takes it and the
// record key exactly as "get --key" takes it. Each store a run needs is
// located, opened and read once, as the store commands open theirs
// ("--unattended", "--passphrase-file" or the prompt), and only the values
// named are copied out of it, into a map the caller wipes.
// Driven from one thread by the host.
#ifndef SRC_MISC_COMMON_VALUECOMMAND_H_
#define SRC_MISC_COMMON_VALUECOMMAND_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Src/Misc/Common/StoreCommand.h"

// One stored value: its store's type and its record key.
using ValueName = std::pair<FileType, std::string>;
// Values by name, in the order the stores hold them. A ScopedWipe of the
// map wipes every value.
using ValueMap = std::map<ValueName, std::string>;

// Stores in `name` the value `text` names: "settings:KEY" or
// "credentials:KEY" with a non-empty KEY (which may hold ':'). False, with
// `name` untouched, for anything else.
[[nodiscard]] bool ParseValueName(std::string_view text, ValueName& name);

// "TYPE:KEY" as a console or log line shows it (KeyText.h).
[[nodiscard]] std::string ShowValueName(const ValueName& name);

class ValueCommand : public StoreCommand {
 public:
  using StoreCommand::StoreCommand;

 protected:
  // Fills the value of every name in `values` (entries made by the caller,
  // empty) from its store. A key not stored is named on the console and in
  // the log, each one, and ends the run as get's does (exit status 1),
  // after every store was read; a store that does not open ends it as the
  // store commands' do. Values read so far stay in `values` on failure.
  [[nodiscard]] uint32_t ReadValues(ValueMap& values);

  [[nodiscard]] uint32_t RunOnStore(EnDecrypt& store) override;

 private:
  ValueMap* wanted = nullptr;  // during ReadValues
  std::size_t absent = 0;      // keys not stored, so far
};

#endif  // SRC_MISC_COMMON_VALUECOMMAND_H_
