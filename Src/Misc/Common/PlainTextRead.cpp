// The plaintext reader of both forms: in a file of its own, so that only
// the commands that read plaintext (edit) link the credential parser.
#include <string>

#include "Src/Misc/Common/PlainText.h"
#include "host/CredentialFileParser.h"
#include "suite/secretmemory/SecretMemory.h"

bool ReadPlainText(const std::string& text, PlainForm form, PlainRecords& records,
                   std::string& reason) {
  if (form == PlainForm::kSettings) {
    const SettingsReading reading = ReadSettingsText(text.data(), text.size(), records);
    if (reading.result == SettingsResult::kOk) return true;
    reason = reading.result == SettingsResult::kNotJson
                 ? DescribeJsonFault(reading.json)
                 : "it needs exactly one top-level \"sensitive_settings\" object";
    return false;
  }
  PlainRecords read;
  CredentialFileParser parser;
  const int result = parser.ParseText(text.data(), text.size(), read);
  if (result == CredentialFileParser::kOk) {
    WipeValues(records);
    records.swap(read);
    return true;
  }
  WipeValues(read);
  if (result != CredentialFileParser::kNotJson) {
    reason = DescribeCredentialFault(result);
    return false;
  }
  // Not JSON by the one reading both forms share: read again as settings
  // for the place of the fault.
  PlainRecords unused;
  reason = DescribeJsonFault(ReadSettingsText(text.data(), text.size(), unused).json);
  return false;
}
