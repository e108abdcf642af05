// The JSON loader of the sensitive settings reader (encrypt's and edit's): a JSON file that may
// carry whole-line // comments, read into a property tree. It is also the
// format gate of the input intake; its text rules (suite/jsontext) are the
// credential parser's too.
#ifndef SRC_MISC_COMMON_JSONFILE_H_
#define SRC_MISC_COMMON_JSONFILE_H_

#include <cstddef>
#include <string>

#include <boost/property_tree/ptree_fwd.hpp>

// Reads the file at `path` into wiped memory, drops every line whose
// trimmed text starts with "//", joins the other trimmed lines with nothing
// between them and parses the result as JSON into `tree`.
// Throws std::runtime_error("The json file can not be opened.") when the
// file cannot be opened, and json_parser_error when the joined text is not
// JSON (an empty text included) or nested deeper than 1,000 levels, which
// the parser could not descend safely; `tree` is then left as it was, and
// whatever was parsed before the fault is wiped.
void ReadJsonFile(const std::string& path, boost::property_tree::ptree& tree);

// The same for the `size` bytes at `data`, a file's text already in memory
// (a decrypted age file); `name` stands for the path in the log line.
void ReadJsonText(const char* data, std::size_t size, const std::string& name,
                  boost::property_tree::ptree& tree);

// Zeroes every value of a tree, depth first without recursion, so that a
// deeply nested input costs no stack. The subtree `done`, already wiped, is
// not entered.
void WipeTree(boost::property_tree::ptree& root, const boost::property_tree::ptree* done = nullptr);

#endif  // SRC_MISC_COMMON_JSONFILE_H_
