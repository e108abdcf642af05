// The plaintext credential parser: reads a credential file (JSON with
// whole-line // comments, see docs/credential-format.md) into records
// "<target>/user" and "<target>/password".
#ifndef HOST_CREDENTIALFILEPARSER_H_
#define HOST_CREDENTIALFILEPARSER_H_

#include <map>
#include <string>

#if defined(_WIN32)
#  if defined(PLAINTEXTPARSER_BUILD)
#    define PLAINTEXTPARSER_API __declspec(dllexport)
#  else
#    define PLAINTEXTPARSER_API __declspec(dllimport)
#  endif
#elif defined(PLAINTEXTPARSER_BUILD)
#  define PLAINTEXTPARSER_API __attribute__((visibility("default")))
#else
#  define PLAINTEXTPARSER_API
#endif

class PLAINTEXTPARSER_API CredentialFileParser {
 public:
  // Results of ParseFile.
  static constexpr int kOk = 0;

  CredentialFileParser();
  CredentialFileParser(const CredentialFileParser&) = delete;
  CredentialFileParser& operator=(const CredentialFileParser&) = delete;
  virtual ~CredentialFileParser();

  // Parses the file at `path` and adds its records to `records`; returns 0,
  // or a non-zero number of docs/credential-format.md.
  virtual int ParseFile(const std::string& path, std::map<std::string, std::string>& records);
};

#endif  // HOST_CREDENTIALFILEPARSER_H_
