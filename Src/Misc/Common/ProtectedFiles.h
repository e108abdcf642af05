// The files no output of a command may replace, whatever --force says: a
// store, the host key, a key its ring keeps, a host key backup and the
// configuration. Replacing one would lose every secret it guards.
#ifndef SRC_MISC_COMMON_PROTECTEDFILES_H_
#define SRC_MISC_COMMON_PROTECTEDFILES_H_

#include <string>

// What the existing file at `path` is, in words for the console ("a
// store", "the host key", ...), when it is one of those files; empty when
// it is none of them (or nothing is there). Stores, sealed keys and backups
// are told by what they hold, wherever they are; the host key, its kept
// keys and the configuration by being the files the configuration names.
[[nodiscard]] std::string DescribeProtectedFile(const std::string& path);

#endif  // SRC_MISC_COMMON_PROTECTEDFILES_H_
