// The abstract command that a plug-in hands the host. The host calls, in
// order: SetParameters once, Run only when SetParameters returned code 0,
// Finish at its discretion, then deletes the object through this class.
// Not thread-safe: one object is driven from one thread.
#ifndef PLUGIN_BASIC_APP_H_
#define PLUGIN_BASIC_APP_H_

#include "plugin/CommandResult.h"
#include "plugin/HostContext.h"

class basic_app {
 public:
  basic_app() = default;
  basic_app(const basic_app&) = delete;
  basic_app& operator=(const basic_app&) = delete;

  virtual ~basic_app() {}
  // The command keeps its own copy of the context; the caller's record may
  // be destroyed as soon as this returns.
  virtual CommandResult SetParameters(const HostContext& /*context*/) { return CommandResult{}; }
  virtual CommandResult Run() = 0;
  virtual CommandResult Finish() { return CommandResult{}; }
};

#endif  // PLUGIN_BASIC_APP_H_
