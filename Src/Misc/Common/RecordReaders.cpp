#include "Src/Misc/Common/RecordReaders.h"

#include <new>
#include <utility>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/KeyText.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/CredentialFileParser.h"
#include "suite/platform/Files.h"
#include "suite/platform/Heap.h"

namespace {

// A credential list that is there but refused: its records would be left
// out of the run without a word.
bool IsRefusedList(int parsed) {
  return parsed == CredentialFileParser::kBadEntry ||
         parsed == CredentialFileParser::kDuplicateTarget ||
         parsed == CredentialFileParser::kCannotOpen;
}

}  // namespace

// The causes below are notes too (Log::TakeNotes): encrypt's console lines
// are fixed and never name them.
uint32_t ReportSettingsReading(const SettingsReading& reading, const std::string& name) {
  switch (reading.result) {
    case SettingsResult::kCannotOpen:
      KLOG_NOTE(kLevelError) << name << " cannot be read"
                             << (platform::IsAccessDenied(name) ? ": permission denied" : "")
                             << ".";
      return ERR_INVALID_FILE;
    case SettingsResult::kNotJson:
      // Where the text stops being JSON, in words and at its line and
      // column in the file; never the text itself. A text nested too deep
      // has always been refused before a word was said.
      if (reading.json.fault != jsontext::Fault::kTooDeep) {
        KLOG_NOTE(kLevelError) << name << " is not JSON: " << jsontext::Describe(reading.json.fault)
                               << " at line " << reading.json.where.line << ", column "
                               << reading.json.where.column << ".";
      }
      return ERR_INVALID_FILE;
    case SettingsResult::kNoSettings:
      KLOG(kLevelError) << "the plain text file is not match with the format of sensitive setting's.";
      return ERR_GENERIC_FAILURE;
    case SettingsResult::kOk: break;
  }
  // The names only, escaped as list shows them (a name from someone else's
  // file must not write a log line of its own); a value never reaches the
  // log.
  for (const std::string& setting : reading.names) {
    KLOG(kLevelTrace) << "Parse setting name: " << ShownText(setting);
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
  if (IsRefusedList(parsed)) {
    // Said even when the settings are stored: the run's "delete the file"
    // suggestion must not be followed while the file holds credentials
    // kept nowhere else.
    KLOG_NOTE(kLevelWarning)
        << "The credentials of the input file were not stored: "
        << DescribeCredentialFault(parsed)
        << (records.count(SensitiveSetting) != 0
                ? ". Only its sensitive settings were; keep the file until its credentials are "
                  "stored too."
                : ".");
  }
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
    const ScopedWipe settings_wipe(settings);
    const uint32_t code = ReportSettingsReading(ReadSettingsText(data, size, settings), name);
    ended = code == ERR_INVALID_FILE;
    if (!ended) {
      platform::ReadyHeapForFile(size, platform::HeapUse::kInputText);
      RecordMap found;
      CredentialFileParser parser;
      std::size_t entry = 0;
      const int parsed = parser.ParseText(data, size, found, &entry);
      if (IsRefusedList(parsed)) {
        // Nothing is taken when part of the text cannot be: the settings
        // alone would be imported and the credentials silently lost.
        KLOG(kLevelError) << "Credential entry " << entry << " of " << name
                          << " does not parse: " << parsed << ".";
        CONSOLE_MESSAGE(kLevelError) << "Entry " << entry << " of the \"credentials\" list in "
                                     << name << " does not parse: "
                                     << DescribeCredentialFault(parsed)
                                     << ". Nothing was imported.";
        return ERR_READ_FILE;
      }
      if (code == ERR_SUCCEED) records[SensitiveSetting].swap(settings);
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
