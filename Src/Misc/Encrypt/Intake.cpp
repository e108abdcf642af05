// The input intake: the path of "configfile" is checked, then every reader
// is tried on the file; the type of the file is whatever the readers found.

#include <string>
#include <utility>
#include <vector>

#include <boost/filesystem.hpp>
#include <boost/property_tree/ptree.hpp>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "Src/Misc/Common/JsonFile.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/CredentialFileParser.h"
#include "suite/utf8/Utf8Path.h"

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

uint32_t ENCRYPT::ReadFileIntoMemory() {
  TRACE_ENTERING("ENCRYPT::ReadFileIntoMemory");
  const auto option = context.options.find("configfile");
  const std::string path = option != context.options.end() ? option->second : std::string();

  // The throwing status queries stand outside the guard below: a failure
  // other than "not found" (a folder that may not be searched, a link loop)
  // leaves this method as an exception.
  namespace fs = boost::filesystem;
  if (!fs::is_regular_file(fs::status(utf8::MakePath(path)))) {
    if (fs::exists(fs::status(utf8::MakePath(path)))) {
      KLOG(kLevelError) << "Customer specify file: " << path << " is not a regular file.";
      return ERR_INVALID_FILE;
    }
    KLOG(kLevelError) << "Customer specify file: " << path << " is not exist.";
    return ERR_FILE_NOT_EXIST;
  }

  // Any exception from a reader (a file that is not JSON, above all) ends
  // the intake; the readers after it are not tried.
  try {
    KLOG(kLevelTrace) << "check file path: " << path;
    for (const auto& [type, reader] : file_readers) {
      KLOG(kLevelTrace) << "check file type: " << type;
      // A reader reports by storing records or not; its code is not looked at.
      static_cast<void>((this->*reader)(path));
    }
  } catch (...) {
    KLOG(kLevelTrace) << "Parse file error.";
    return ERR_INVALID_FILE;
  }

  TRACE_EXITING("ENCRYPT::ReadFileIntoMemory");
  // An empty record map counts: the entry alone says the type was found.
  return file_records.empty() ? ERR_INVALID_FILE : ERR_SUCCEED;
}

uint32_t ENCRYPT::ReadSensitiveSettingFile(const std::string& path) {
  TRACE_ENTERING("ENCRYPT::ReadSensitiveSettingFile");
  ptree tree;
  TreeWiper wiper(tree);
  ReadJsonFile(path, tree);  // throws for a file that is not JSON

  if (tree.count(kSettingsNode) != 1) {
    KLOG(kLevelError) << "the plain text file is not match with the format of sensitive setting's.";
    return ERR_GENERIC_FAILURE;
  }
  ptree& settings = tree.get_child(ptree::path_type(kSettingsNode, kPathSeparator));
  RecordMap records;
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
    records.insert_or_assign(records.end(), std::move(name), std::move(value));
    WipeString(value);
    if (node.empty()) {
      WipeString(node.data());
    } else {
      WipeTree(node);
    }
  }
  wiper.SetWiped(&settings);
  // Moved, not copied: no second copy of the values is left to wipe.
  file_records[SensitiveSetting] = std::move(records);
  TRACE_EXITING("ENCRYPT::ReadSensitiveSettingFile");
  return ERR_SUCCEED;
}

uint32_t ENCRYPT::ReadCredentialFile(const std::string& path) {
  TRACE_ENTERING("ENCRYPT::ReadCredentialFile");
  RecordMap records;
  CredentialFileParser parser;
  const int parsed = parser.ParseFile(path, records);
  if (parsed == CredentialFileParser::kOk && !records.empty()) {
    file_records[Credential] = std::move(records);
    TRACE_EXITING("ENCRYPT::ReadCredentialFile");
    return ERR_SUCCEED;
  }
  // The parser's number goes to the log as it is (docs/credential-format.md
  // lists them); whatever it may have left in the map is discarded.
  KLOG(kLevelError) << "Parse credential plain text error: " << parsed;
  WipeValues(records);
  return ERR_READ_FILE;
}
