// Where the host finds a command's plug-in; the platform's SharedLibrary
// (suite/platform/SharedLibrary.h) loads it.
#ifndef SUITE_KELVOX_PLUGINPATHS_H_
#define SUITE_KELVOX_PLUGINPATHS_H_

#include <string>
#include <vector>

// The plug-in's file name for this platform, e.g. "kelvox_encrypt.so".
std::string GetPluginFileName(const std::string& command);

// Where the host looks for the plug-in of `command`, in order: the suite's
// private folder of an installed layout (lib/kelvox beside the program's
// bin/), then beside the program (a build tree, Windows).
std::vector<std::string> GetPluginPaths(const std::string& command);

// The first of GetPluginPaths(command) that exists, or empty when none does.
std::string FindPluginPath(const std::string& command);

#endif  // SUITE_KELVOX_PLUGINPATHS_H_
