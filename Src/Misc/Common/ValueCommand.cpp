#include "Src/Misc/Common/ValueCommand.h"

#include <algorithm>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/KeyText.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "suite/secretmemory/SecretMemory.h"
#include "suite/usage/Commands.h"

bool ParseValueName(std::string_view text, ValueName& name) {
  const std::size_t colon = text.find(':');
  FileType type = StoreCommand::kNoType;
  if (colon == std::string_view::npos || colon + 1 == text.size() ||
      !ParseFileType(std::string(text.substr(0, colon)), type)) {
    return false;
  }
  name = {type, std::string(text.substr(colon + 1))};
  return true;
}

std::string ShowValueName(const ValueName& name) {
  return std::string(kStoreTypeNames[name.first]) + ":" + ShownText(name.second);
}

uint32_t ValueCommand::ReadValues(ValueMap& values) {
  wanted = &values;
  absent = 0;
  for (FileType each = 0; each < kFileTypeCount; ++each) {
    const auto first = values.lower_bound({each, std::string()});
    if (first == values.end() || first->first.first != each) continue;
    // One store after the other, each located and opened as the store
    // commands do it; nothing of the first is kept but the values taken.
    type = each;
    path.clear();
    WipeString(passphrase);
    store_mode.reset();
    const uint32_t code = StoreCommand::RunCommand();
    if (code != ERR_SUCCEED) {
      wanted = nullptr;
      return code;
    }
  }
  wanted = nullptr;
  WipeString(passphrase);
  if (absent != 0) return FromStoreStatus(endecrypt_status::kRecordAbsent);
  // Values of several stores: each named with its store's type.
  std::vector<std::string> names;
  for (const auto& value : values) names.push_back(ShowValueName(value.first));
  audit_act.store.clear();
  return RecordReveal(names);
}

uint32_t ValueCommand::RunOnStore(EnDecrypt& store) {
  std::vector<ValueName> missing;
  // The records come in ascending key order, as the map holds the names:
  // one walk through both finds every value, and only those are copied.
  const StoreStatus status =
      store.ViewRecords(path, passphrase, [this, &missing](const EnDecrypt::RecordViews& records) {
        auto record = records.begin();
        for (auto value = wanted->lower_bound({type, std::string()});
             value != wanted->end() && value->first.first == type; ++value) {
          const std::string& key = value->first.second;
          record = std::lower_bound(record, records.end(), key,
                                    [](const auto& held, const std::string& sought) {
                                      return held.first < std::string_view(sought);
                                    });
          if (record != records.end() && record->first == key) {
            value->second.assign(record->second.data(), record->second.size());
          } else {
            missing.push_back(value->first);
          }
        }
      });
  const uint32_t code = FromReadStatus(status);
  if (code != ERR_SUCCEED) return code;
  for (const ValueName& name : missing) {
    KLOG(kLevelError) << "No record '" << ShownText(name.second) << "' in " << path << ".";
    CONSOLE_MESSAGE(kLevelError) << "The key " << ShownText(name.second) << " is not stored in "
                                 << path << ".";
  }
  absent += missing.size();
  return ERR_SUCCEED;
}
