// The outcome of one command operation: a composite result code (category in
// bits 16-31, number in bits 0-15; 0 is success) and the catalogue text of
// that code, or an empty message. Allocated in the plug-in, released by the host.
#ifndef PLUGIN_COMMANDRESULT_H_
#define PLUGIN_COMMANDRESULT_H_

#include <cstdint>
#include <string>

struct CommandResult {
  uint32_t code = 0;
  std::string message;
};

#endif  // PLUGIN_COMMANDRESULT_H_
