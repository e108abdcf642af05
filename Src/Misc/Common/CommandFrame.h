// The frame under the commands: the context kept and held to the command's
// entry in the table of commands (suite/usage/Commands.h), then the
// command's own checks; its options read; a run that may hold secrets, so
// core dumps are off, and that a Ctrl+C at a prompt ends with nothing
// written. Driven from one thread by the host.
#ifndef SRC_MISC_COMMON_COMMANDFRAME_H_
#define SRC_MISC_COMMON_COMMANDFRAME_H_

#include <cstdint>
#include <string>
#include <vector>

#include "Src/Misc/Common/AuditTrail.h"
#include "Src/Misc/Common/CommandEnv.h"
#include "host/EnDecrypt.h"
#include "plugin/basic_app.h"

class CommandFrame : public basic_app {
 public:
  // `name` is the command's name in the table of commands.
  explicit CommandFrame(const char* name) : name(name) {}

  // Keeps a copy of `context`, holds it to the command's entry in the
  // table, then runs CheckOptions. A fault is printed on standard error and
  // returned as ERR_INVALID_PARAMETER.
  CommandResult SetParameters(const HostContext& context) override;
  CommandResult Run() override;

  // Runs the command against `run_env`'s store and keys instead of the
  // process's store and the console.
  void SetEnv(const CommandEnv& run_env) { env = run_env; }

 protected:
  // The command's own checks, after the table's; a fault is returned as
  // RefuseOption returns it.
  [[nodiscard]] virtual uint32_t CheckOptions() { return 0; }
  // The command's run; returns a catalogue code.
  [[nodiscard]] virtual uint32_t RunCommand() = 0;

  [[nodiscard]] bool HasOption(const std::string& name) const;
  // The option's value; empty when it is absent.
  [[nodiscard]] std::string GetOption(const std::string& name) const;
  // Each value of a repeatable option, in the order given; none when absent.
  [[nodiscard]] std::vector<std::string> GetOptionValues(const std::string& name) const;

  // A store status as the command's result (MapAdminStatus, which logs the
  // reason a failure carries).
  [[nodiscard]] static uint32_t FromStoreStatus(const StoreStatus& status);

  // Prints a usage fault on standard error; returns ERR_INVALID_PARAMETER.
  [[nodiscard]] static uint32_t RefuseOption(const std::string& message);

  // Records a reveal of `keys` of `audit_act.store` in the audit log
  // before the values go out (AuditTrail.h): a code other than ERR_SUCCEED
  // means nothing may be handed out. The frame then records no line of its
  // own at the end of the run, unless `change_follows` (edit: the change
  // is recorded too).
  [[nodiscard]] uint32_t RecordReveal(const std::vector<std::string>& keys,
                                      bool change_follows = false) const;

  HostContext context;
  // The store and the keyboard the run uses.
  CommandEnv env;
  // What the run's audit line says; the frame fills the command and the
  // keys named with "--key", a store command its store.
  AuditAct audit_act;

 private:
  const char* name;
  mutable bool revealed = false;  // a reveal was recorded, and no change follows
};

#endif  // SRC_MISC_COMMON_COMMANDFRAME_H_
