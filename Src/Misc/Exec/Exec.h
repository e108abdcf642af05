// EXEC, the exec command: runs a program in its own place (same pid) with
// stored values handed to it, each "--env NAME=TYPE:KEY" in the variable
// NAME and each "--file NAME=TYPE:KEY" in a sealed memory file whose path
// NAME holds; the program and its arguments follow "--", passed as they
// are. No value reaches a command line, a log or the console. A bad NAME
// or a key not stored: the program never runs.
#ifndef SRC_MISC_EXEC_EXEC_H_
#define SRC_MISC_EXEC_EXEC_H_

#include <cstdint>
#include <string>
#include <vector>

#include "Src/Misc/Common/ValueCommand.h"

class EXEC : public ValueCommand {
 public:
  EXEC() : ValueCommand("exec") {}

 protected:
  // Each NAME=TYPE:KEY well formed, each NAME once.
  [[nodiscard]] uint32_t CheckOptions() override;
  // Messages go to standard error: standard output is the program's.
  [[nodiscard]] bool WritesDataToStandardOutput() const override { return true; }
  [[nodiscard]] uint32_t RunCommand() override;

 private:
  // One value handed to the program.
  struct Handed {
    std::string variable;
    ValueName value;
    bool as_file = false;
  };

  std::vector<Handed> handed;
};

#endif  // SRC_MISC_EXEC_EXEC_H_
