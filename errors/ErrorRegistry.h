// The process-wide table of result codes and their messages. A composite
// code holds the category in bits 16-31 and the number in bits 0-15;
// category 0 is the common category, whose composite codes equal the plain
// numbers. The catalogue (ErrorCatalogue.def) fills the registry at its
// first use, once; afterwards it is only read, and lookups from several
// threads are safe.
#ifndef ERRORS_ERRORREGISTRY_H_
#define ERRORS_ERRORREGISTRY_H_

#include <cstdint>
#include <map>
#include <string>

#include "plugin/CommandResult.h"

class ErrorRegistry {
 public:
  using MessageMap = std::map<int32_t, std::string>;
  using CategoryMap = std::map<int32_t, MessageMap>;

  // The composite code of (category, code).
  static constexpr uint32_t Composite(int category, int code) {
    return (static_cast<uint32_t>(category) << kCategoryShift) | static_cast<uint32_t>(code);
  }

  // Adds or replaces the entry (category, code) and returns its composite
  // code. Categories 0 and below go to the common map.
  static uint32_t Register(int category, int code, const char* message);

  // The message of `composite`: the common map first, then the map of
  // `category`; "Unknow error" when neither holds it. Never inserts.
  static std::string GetMessage(uint32_t composite, int category);

  static MessageMap& GetCommonMap();
  static CategoryMap& GetCategoryMap();

 private:
  static constexpr int kCategoryShift = 16;
};

// The message of any result code: codes whose bits 8-15 are zero come from
// the registry, the others from the legacy table.
std::string GetErrorMessage(int32_t code);

// Stores `code` and its message in `result`, replacing both; returns `result`.
CommandResult& MakeCommandResult(CommandResult& result, const uint32_t& code);

#endif  // ERRORS_ERRORREGISTRY_H_
