#include "Src/Misc/List/List.h"

#include <string>
#include <vector>

#include "Src/Misc/Common/JsonWriter.h"
#include "Src/Misc/Common/KeyText.h"
#include "Src/Misc/Common/OutputFile.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

uint32_t LIST::RunOnStore(EnDecrypt& store) {
  // Keys only: no value is copied out of the store library.
  std::vector<std::string> keys;
  const uint32_t code = FromReadStatus(store.ListKeys(path, passphrase, keys));
  if (code != ERR_SUCCEED) return code;
  std::string lines;
  if (HasOption("json")) {
    JsonWriter json(&lines, JsonWriter::Spacing::kSpaced);
    json.BeginArray();
    for (const std::string& key : keys) json.Text(key);
    json.End();
    json.EndLine();
  } else {
    for (const std::string& key : keys) {
      AppendShownText(key, lines);
      lines.push_back('\n');
    }
  }
  return OutputFile().Write(lines.data(), lines.size());
}
