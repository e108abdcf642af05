#include "Src/Misc/Common/RecordReaders.h"

#include <new>
#include <utility>

#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/CredentialFileParser.h"
#include "suite/platform/Heap.h"

uint32_t ReportSettingsReading(const SettingsReading& reading, const std::string& name) {
  switch (reading.result) {
    case SettingsResult::kCannotOpen: return ERR_INVALID_FILE;
    case SettingsResult::kNotJson:
      // Where the text stops being JSON, in the words and at the line of
      // the joined text, which has but one line; never the text itself. A
      // text nested too deep has always been refused before a word was said.
      if (reading.json.fault != jsontext::Fault::kTooDeep) {
        KLOG(kLevelError) << name << " is not JSON: " << jsontext::Describe(reading.json.fault)
                          << " at line 1.";
      }
      return ERR_INVALID_FILE;
    case SettingsResult::kNoSettings:
      KLOG(kLevelError) << "the plain text file is not match with the format of sensitive setting's.";
      return ERR_GENERIC_FAILURE;
    case SettingsResult::kOk: break;
  }
  // The names only: a setting's value never reaches the log.
  for (const std::string& setting : reading.names) {
    KLOG(kLevelTrace) << "Parse setting name: " << setting;
  }
  return ERR_SUCCEED;
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
  // Each reader copies the text and parses it: as before an input file
  // read whole, the heap is readied for that at once.
  bool ended = false;
  try {
    platform::ReadyHeapForFile(size, platform::HeapUse::kInputText);
    RecordMap settings;
    const uint32_t code = ReportSettingsReading(ReadSettingsText(data, size, settings), name);
    ended = code == ERR_INVALID_FILE;
    if (code == ERR_SUCCEED) records[SensitiveSetting] = std::move(settings);
    if (!ended) {
      platform::ReadyHeapForFile(size, platform::HeapUse::kInputText);
      RecordMap found;
      CredentialFileParser parser;
      const int parsed = parser.ParseText(data, size, found);
      static_cast<void>(TakeCredentialRecords(parsed, found, records));
    }
  } catch (const std::bad_alloc&) {
    ended = true;
  }
  if (ended) {
    KLOG(kLevelTrace) << "Parse file error.";
    return ERR_INVALID_FILE;
  }
  return records.empty() ? ERR_INVALID_FILE : ERR_SUCCEED;
}
