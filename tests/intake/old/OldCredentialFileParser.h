#pragma once
// The credential parser as it was before the one JSON reading, kept only
// to show the new reading equivalent to it.
#include <map>
#include <string>
#include "host/CredentialFileParser.h"
#include "suite/secretmemory/SecretMemory.h"
class OldCredentialFileParser {
 public:
  using Result = CredentialFileParser::Result;
  static constexpr int kOk = 0, kCannotOpen = 1, kNotJson = 2, kNoCredentialList = 3, kBadEntry = 4,
                       kDuplicateTarget = 5;
  OldCredentialFileParser();
  ~OldCredentialFileParser();
  int ParseText(SecretString text, std::map<std::string, std::string>& records);
};
