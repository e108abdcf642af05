#include "Src/Misc/Common/RecordReaders.h"

#include <utility>

#include <boost/property_tree/ptree.hpp>

#include "Src/Misc/Common/JsonFile.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/CredentialFileParser.h"

namespace {

using boost::property_tree::ptree;

constexpr char kSettingsNode[] = "sensitive_settings";
constexpr char kPathSeparator = '.';

// The parsed tree is a copy of the plaintext input: its values are zeroed
// before it is released, however the reader leaves.
class TreeWiper {
 public:
  explicit TreeWiper(ptree& root) : tree(root) {}
  TreeWiper(const TreeWiper&) = delete;
  TreeWiper& operator=(const TreeWiper&) = delete;
  ~TreeWiper() { WipeTree(tree, done); }

  // The reader wipes the settings while it has them at hand.
  void SetWiped(const ptree* subtree) { done = subtree; }

 private:
  ptree& tree;
  const ptree* done = nullptr;
};

}  // namespace

bool TakeSettingsRecords(ptree& tree, RecordMap& records) {
  TreeWiper wiper(tree);
  if (tree.count(kSettingsNode) != 1) {
    KLOG(kLevelError) << "the plain text file is not match with the format of sensitive setting's.";
    return false;
  }
  ptree& settings = tree.get_child(ptree::path_type(kSettingsNode, kPathSeparator));
  RecordMap taken;
  for (auto& [member, node] : settings) {
    std::string name = member;
    // The name only: a setting's value never reaches the log.
    KLOG(kLevelTrace) << "Parse setting name: " << name;
    // The value is copied out of the tree, whose copy is wiped right away:
    // the records then lie past the tree's memory, which comes free in one
    // piece for the large buffers of the write. Members usually come in
    // order, so the end of the map is the likely place; a later duplicate
    // still overwrites, and the value it replaces is wiped too.
    std::string value(node.data());
    taken.insert_or_assign(taken.end(), std::move(name), std::move(value));
    WipeString(value);
    if (node.empty()) {
      WipeString(node.data());
    } else {
      WipeTree(node);
    }
  }
  wiper.SetWiped(&settings);
  // Moved, not copied: no second copy of the values is left to wipe.
  records = std::move(taken);
  return true;
}

bool TakeCredentialRecords(int parsed, RecordMap& found, TypedRecords& records) {
  if (parsed == CredentialFileParser::kOk && !found.empty()) {
    records[Credential] = std::move(found);
    return true;
  }
  // The parser's number goes to the log as it is (docs/credential-format.md
  // lists them); whatever it may have left in the map is discarded.
  KLOG(kLevelError) << "Parse credential plain text error: " << parsed;
  WipeValues(found);
  return false;
}

uint32_t ReadRecordsFromText(const char* data, std::size_t size, const std::string& name,
                             TypedRecords& records) {
  try {
    ptree tree;
    ReadJsonText(data, size, name, tree);  // throws for a text that is not JSON
    RecordMap settings;
    if (TakeSettingsRecords(tree, settings)) records[SensitiveSetting] = std::move(settings);
    RecordMap found;
    CredentialFileParser parser;
    const int parsed = parser.ParseText(data, size, found);
    static_cast<void>(TakeCredentialRecords(parsed, found, records));
  } catch (...) {
    KLOG(kLevelTrace) << "Parse file error.";
    return ERR_INVALID_FILE;
  }
  return records.empty() ? ERR_INVALID_FILE : ERR_SUCCEED;
}
