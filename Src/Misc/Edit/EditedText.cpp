#include "Src/Misc/Edit/EditedText.h"

#include <sstream>
#include <utility>
#include <vector>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "Src/Misc/Common/JsonFile.h"
#include "host/CredentialFileParser.h"
#include "suite/secretmemory/SecretMemory.h"

namespace {

using boost::property_tree::ptree;

constexpr char kSettingsNode[] = "sensitive_settings";

// The JSON fault of `text` with its line: the loader joins the lines before
// parsing, so the text is parsed again here with comment lines blanked and
// every line kept in place.
std::string LocateJsonFault(const std::string& text) {
  std::istringstream lines(text);
  std::string kept;
  ScopedWipe<std::string> wipe_kept(kept);
  std::string line;
  ScopedWipe<std::string> wipe_line(line);
  while (std::getline(lines, line)) {
    if (!boost::algorithm::starts_with(boost::algorithm::trim_copy(line), "//")) kept += line;
    kept.push_back('\n');
  }
  ptree tree;
  try {
    std::istringstream json(kept);
    boost::property_tree::read_json(json, tree);
  } catch (const boost::property_tree::json_parser_error& error) {
    WipeTree(tree);
    return "it is not JSON: " + error.message() + " at line " + std::to_string(error.line());
  }
  WipeTree(tree);
  return "it is not JSON";
}

bool ReadSettings(const std::string& path, const std::string& text, EditedRecords& records,
                  std::string& reason) {
  ptree tree;
  try {
    ReadJsonFile(path, tree);
  } catch (const boost::property_tree::json_parser_error&) {
    reason = LocateJsonFault(text);
    return false;
  } catch (const std::exception&) {
    reason = "it cannot be read";
    return false;
  }
  if (tree.count(kSettingsNode) != 1) {
    WipeTree(tree);
    reason = std::string("it needs exactly one top-level \"") + kSettingsNode + "\" object";
    return false;
  }
  EditedRecords read;
  for (auto& [name, node] : tree.get_child(kSettingsNode)) {
    read.insert_or_assign(name, std::move(node.data()));
  }
  WipeTree(tree);
  WipeValues(records);
  records.swap(read);
  return true;
}

const char* CredentialFault(int result) {
  switch (result) {
    case CredentialFileParser::kCannotOpen: return "it cannot be read";
    case CredentialFileParser::kNoCredentialList:
      return "it needs exactly one top-level \"credentials\" array";
    case CredentialFileParser::kBadEntry: return "an entry lacks its target, user or password";
    case CredentialFileParser::kDuplicateTarget: return "two entries name the same target";
    default: return "the credential reader refused it";
  }
}

}  // namespace

bool ReadEditedFile(const std::string& path, const std::string& text, bool credentials,
                    EditedRecords& records, std::string& reason) {
  if (!credentials) return ReadSettings(path, text, records, reason);
  EditedRecords read;
  CredentialFileParser parser;
  const int result = parser.ParseFile(path, read);
  if (result != CredentialFileParser::kOk) {
    WipeValues(read);
    reason = result == CredentialFileParser::kNotJson ? LocateJsonFault(text)
                                                      : CredentialFault(result);
    return false;
  }
  WipeValues(records);
  records.swap(read);
  return true;
}
