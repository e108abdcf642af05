// Runs the credential parser on arbitrary files and holds it to the
// settings reader's JSON loader, which decides what reaches the parser in
// the command: both must agree on what is JSON, a file the loader reads
// without one top-level "credentials" member must get the list error, and
// every record of a good file must equal the text the loader decoded.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "Src/Misc/Common/JsonFile.h"
#include "fuzz/FuzzFile.h"
#include "host/CredentialFileParser.h"

namespace {

using boost::property_tree::ptree;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckRecords(const ptree& tree, const std::map<std::string, std::string>& records) {
  const ptree& list = tree.get_child(ptree::path_type("credentials", '\0'));
  Check(records.size() == 2 * list.size());
  for (const auto& element : list) {
    const ptree& entry = element.second;
    const std::string target = entry.get_child(ptree::path_type("target", '\0')).data();
    Check(records.at(target + "/user") == entry.get_child(ptree::path_type("user", '\0')).data());
    Check(records.at(target + "/password") ==
          entry.get_child(ptree::path_type("password", '\0')).data());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = WriteFuzzFile(data, size);

  std::map<std::string, std::string> records;
  CredentialFileParser parser;
  const int result = parser.ParseFile(path, records);
  Check(result >= CredentialFileParser::kOk && result <= CredentialFileParser::kDuplicateTarget);
  Check(result != CredentialFileParser::kCannotOpen);
  Check(result == CredentialFileParser::kOk || records.empty());

  ptree tree;
  bool loaded = true;
  try {
    ReadJsonFile(path, tree);
  } catch (const boost::property_tree::json_parser_error&) {
    loaded = false;
  }
  Check(loaded == (result != CredentialFileParser::kNotJson));
  if (loaded && tree.count("credentials") != 1) {
    Check(result == CredentialFileParser::kNoCredentialList);
  }
  if (result == CredentialFileParser::kOk) CheckRecords(tree, records);
  return 0;
}
