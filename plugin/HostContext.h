// The host's record of one parsed command line, handed to a command once.
// Declared once for host and plug-in: both sides share its layout, so the
// field order and types are binding. Commands read `options` and, for a
// command with actions, `host_list` (the action and its argument); the
// other fields belong to the host and are carried unchanged.
#ifndef PLUGIN_HOSTCONTEXT_H_
#define PLUGIN_HOSTCONTEXT_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct HostContext {
  std::string host_string_1;
  std::string host_string_2;
  std::string host_string_3;
  std::string host_string_4;
  int32_t host_number_1 = 0;
  int32_t host_number_2 = 0;
  int32_t host_number_3 = 0;
  int64_t host_number_64 = 0;
  std::vector<std::string> host_list;
  // Option name as written on the command line without its leading dashes
  // (case kept) -> argument text, possibly empty.
  std::map<std::string, std::string> options;
};

#endif  // PLUGIN_HOSTCONTEXT_H_
