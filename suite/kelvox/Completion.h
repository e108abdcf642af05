// The shell's completion of a kelvox command line, answered from the table
// of commands (suite/usage/Commands.h), so the completion script holds no
// copy of it: `kelvox --complete WORD...` prints the candidates for the
// last word, one a line. The option is not listed in the usage.
#ifndef SUITE_KELVOX_COMPLETION_H_
#define SUITE_KELVOX_COMPLETION_H_

#include <string>
#include <vector>

// What the script does with a value that names a file: complete it from
// the file system itself.
constexpr char kCompleteFileName[] = "<file>";

// The candidates for the last of `words` (the arguments after the program,
// the last being the word under completion, maybe empty), which each begin
// with it: commands; an action of a command that takes one; a value of an
// option with choices, or kCompleteFileName for one that names a file or a
// folder; the options of the command (or its action) not given yet and
// not excluded by one given, repeatable ones always. Empty when nothing
// can be offered (a free value, an unknown command).
std::vector<std::string> CompleteWords(const std::vector<std::string>& words);

#endif  // SUITE_KELVOX_COMPLETION_H_
