// RENDER, the render command: writes "--output" from "--template", each
// {{kelvox:TYPE:KEY}} replaced by that stored value and every other byte
// (other {{ ... }} too) copied as it is. The output is written as a store
// is: a temporary beside it, synced, renamed; owner-only unless "--mode"
// widens it for reading; never through a link. An output that would not
// change is not written at all (its modification time stays, so nothing
// watching it wakes). A key not stored leaves the output as it was.
#ifndef SRC_MISC_RENDER_RENDER_H_
#define SRC_MISC_RENDER_RENDER_H_

#include <cstdint>
#include <string>

#include "Src/Misc/Common/ValueCommand.h"

class RENDER : public ValueCommand {
 public:
  RENDER() : ValueCommand("render") {}

 protected:
  // "--mode" as a mode render may give; the output other than the template.
  [[nodiscard]] uint32_t CheckOptions() override;
  [[nodiscard]] bool WritesDataToStandardOutput() const override { return false; }
  [[nodiscard]] uint32_t RunCommand() override;

 private:
  // Replaces the output by `text` unless it holds exactly that already.
  [[nodiscard]] uint32_t WriteOutput(const std::string& text) const;

  std::uint32_t mode = 0;
};

#endif  // SRC_MISC_RENDER_RENDER_H_
