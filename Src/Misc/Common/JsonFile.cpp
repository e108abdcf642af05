#include "Src/Misc/Common/JsonFile.h"

#include <stdexcept>
#include <string>
#include <utility>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "suite/jsontext/JsonText.h"
#include "suite/platform/InputFile.h"
#include "suite/secretmemory/SecretMemory.h"

void ReadJsonFile(const std::string& path, boost::property_tree::ptree& tree) {
  // The text holds the secrets: its buffers are zeroed whenever they are
  // freed, and it is joined in place, so no other copy is made.
  SecretString text;
  if (platform::ReadInputFile(path, text) != platform::InputResult::kOk) {
    throw std::runtime_error("The json file can not be opened.");
  }
  text.resize(jsontext::JoinLines(text.data(), text.size()));
  if (jsontext::IsNestedTooDeep(text.data(), text.size())) {
    throw boost::property_tree::json_parser_error("nesting too deep", "", 1);
  }
  // The stream takes the text over instead of copying it.
  SecretStream stream(std::move(text));
  boost::property_tree::read_json(stream, tree);
}
