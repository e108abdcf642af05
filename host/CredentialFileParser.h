// The plaintext credential parser: reads a credential file (JSON with
// whole-line // comments, see docs/credential-format.md) into records
// "<target>/user" and "<target>/password".
#ifndef HOST_CREDENTIALFILEPARSER_H_
#define HOST_CREDENTIALFILEPARSER_H_

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "host/Export.h"

// A target's two records are its name followed by these suffixes.
inline constexpr std::string_view kCredentialUserSuffix = "/user";
inline constexpr std::string_view kCredentialPasswordSuffix = "/password";

class PLAINTEXTPARSER_API CredentialFileParser {
 public:
  // Results of ParseFile and ParseText; docs/credential-format.md says when each is given.
  // Enumerators need no storage, so nothing crosses the export table.
  enum Result : int {
    kOk = 0,
    kCannotOpen = 1,        // the file cannot be opened or read
    kNotJson = 2,           // the text left after comment removal is not JSON
    kNoCredentialList = 3,  // no single top-level "credentials" array
    kBadEntry = 4,          // an entry without target, user or password
    kDuplicateTarget = 5,   // two entries name the same target
  };

  CredentialFileParser();
  CredentialFileParser(const CredentialFileParser&) = delete;
  CredentialFileParser& operator=(const CredentialFileParser&) = delete;
  virtual ~CredentialFileParser();

  // Parses the file at `path`. On success adds two records per entry to
  // `records` (replacing records of the same key) and returns kOk; a file
  // whose list is empty adds nothing and still returns kOk. On failure
  // returns one of the numbers above and leaves `records` untouched.
  // Prints and logs nothing.
  [[nodiscard]] virtual int ParseFile(const std::string& path,
                                      std::map<std::string, std::string>& records);

  // Parses the `size` bytes at `data`, a credential file's whole text
  // already in memory (a decrypted age file), exactly as ParseFile parses a
  // file: the same results (never kCannotOpen) and records. Works on a copy
  // that is wiped when freed; `data` itself is only read. On kBadEntry or
  // kDuplicateTarget, a non-null `faulty_entry` receives the place of the
  // first faulty entry in the list, counted from 1.
  [[nodiscard]] int ParseText(const char* data, std::size_t size,
                              std::map<std::string, std::string>& records,
                              std::size_t* faulty_entry = nullptr);
};

#endif  // HOST_CREDENTIALFILEPARSER_H_
