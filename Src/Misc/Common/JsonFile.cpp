#include "Src/Misc/Common/JsonFile.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "Src/Misc/Common/Trace.h"
#include "suite/jsontext/JsonText.h"
#include "suite/platform/InputFile.h"
#include "suite/secretmemory/SecretMemory.h"

namespace {

// Joins `text` in place and parses it into `tree`; `name` says in the log
// which input stopped being JSON.
void ParseJoinedText(SecretString& text, const std::string& name,
                     boost::property_tree::ptree& tree) {
  text.resize(jsontext::JoinLines(text.data(), text.size()));
  if (jsontext::IsNestedTooDeep(text.data(), text.size())) {
    throw boost::property_tree::json_parser_error("nesting too deep", "", 1);
  }
  // The parser read_json runs, fed from the text in memory rather than
  // through a stream: the same grammar and errors, without a stream call
  // per character.
  namespace json = boost::property_tree::json_parser::detail;
  json::standard_callbacks<boost::property_tree::ptree> callbacks;
  json::encoding<char> encoding;
  const char* const begin = text.data();
  try {
    json::read_json_internal(begin, begin + text.size(), encoding, callbacks, std::string());
  } catch (const boost::property_tree::json_parser_error& error) {
    // Where the text stops being JSON, for the log: the parser's own words
    // and line, never the text.
    KLOG(kLevelError) << name << " is not JSON: " << error.message() << " at line "
                      << error.line() << ".";
    WipeTree(callbacks.output());
    throw;
  } catch (...) {
    WipeTree(callbacks.output());
    throw;
  }
  tree.swap(callbacks.output());
}

}  // namespace

void ReadJsonFile(const std::string& path, boost::property_tree::ptree& tree) {
  // The text holds the secrets: its buffers are zeroed whenever they are
  // freed, and it is joined in place, so no other copy is made.
  SecretString text;
  if (platform::ReadInputFile(path, text) != platform::InputResult::kOk) {
    throw std::runtime_error("The json file can not be opened.");
  }
  ParseJoinedText(text, path, tree);
}

void ReadJsonText(const char* data, std::size_t size, const std::string& name,
                  boost::property_tree::ptree& tree) {
  // Joining works in place: on a wiped copy, so the caller's text stays.
  SecretString text(data, size);
  ParseJoinedText(text, name, tree);
}

void WipeTree(boost::property_tree::ptree& root, const boost::property_tree::ptree* done) {
  std::vector<boost::property_tree::ptree*> pending{&root};
  while (!pending.empty()) {
    boost::property_tree::ptree* node = pending.back();
    pending.pop_back();
    WipeString(node->data());
    if (node == done) continue;
    for (auto& child : *node) pending.push_back(&child.second);
  }
}
