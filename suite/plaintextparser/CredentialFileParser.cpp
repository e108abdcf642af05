// Stub: replaced by the credential parser work.
#include "host/CredentialFileParser.h"

CredentialFileParser::CredentialFileParser() = default;
CredentialFileParser::~CredentialFileParser() = default;

int CredentialFileParser::ParseFile(const std::string&, std::map<std::string, std::string>&) {
  return 1;
}
