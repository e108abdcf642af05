// The input intake: the path of "configfile" is checked, then every reader
// is tried on the file; the type of the file is whatever the readers found.

#include <new>
#include <string>
#include <utility>
#include <vector>

#include <boost/filesystem.hpp>

#include "Src/Misc/Encrypt/Encrypt.h"
#include "Src/Misc/Common/PlainText.h"
#include "Src/Misc/Common/RecordReaders.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/CredentialFileParser.h"
#include "suite/platform/Utf8Path.h"

uint32_t ENCRYPT::ReadFileIntoMemory() {
  TRACE_ENTERING("ENCRYPT::ReadFileIntoMemory");
  const auto option = context.options.find("configfile");
  const std::string path = option != context.options.end() ? option->second : std::string();

  // The throwing status queries stand outside the guard below: a failure
  // other than "not found" (a folder that may not be searched, a link loop)
  // leaves this method as an exception.
  // Boost's queries, whose exceptions' texts the console shows.
  namespace fs = boost::filesystem;
  const fs::path input(platform::MakePath(path).native());
  // The console lines are fixed: the cause is a note the host shows.
  if (!fs::is_regular_file(fs::status(input))) {
    if (fs::exists(fs::status(input))) {
      KLOG_NOTE(kLevelError) << "Customer specify file: " << path << " is not a regular file.";
      return ERR_INVALID_FILE;
    }
    KLOG_NOTE(kLevelError) << "Customer specify file: " << path << " is not exist.";
    return ERR_FILE_NOT_EXIST;
  }

  // A file that is not JSON (or cannot be read) ends the intake: the
  // readers after the one that found it are not tried. So does memory
  // running out while a reader holds the file.
  bool ended = false;
  try {
    KLOG(kLevelTrace) << "check file path: " << path;
    for (const auto& [type, reader] : file_readers) {
      KLOG(kLevelTrace) << "check file type: " << type;
      // A reader reports by storing records or not; of its codes only
      // ERR_INVALID_FILE, the end of the intake, is looked at.
      ended = (this->*reader)(path) == ERR_INVALID_FILE;
      if (ended) break;
    }
  } catch (const std::bad_alloc&) {
    ended = true;
  }
  if (ended) {
    KLOG(kLevelTrace) << "Parse file error.";
    return ERR_INVALID_FILE;
  }

  TRACE_EXITING("ENCRYPT::ReadFileIntoMemory");
  // An empty record map counts: the entry alone says the type was found.
  return file_records.empty() ? ERR_INVALID_FILE : ERR_SUCCEED;
}

uint32_t ENCRYPT::ReadSensitiveSettingFile(const std::string& path) {
  TRACE_ENTERING("ENCRYPT::ReadSensitiveSettingFile");
  RecordMap records;
  const uint32_t code = ReportSettingsReading(ReadSettingsFile(path, records), path);
  if (code != ERR_SUCCEED) return code;
  file_records[SensitiveSetting] = std::move(records);
  TRACE_EXITING("ENCRYPT::ReadSensitiveSettingFile");
  return ERR_SUCCEED;
}

uint32_t ENCRYPT::ReadCredentialFile(const std::string& path) {
  TRACE_ENTERING("ENCRYPT::ReadCredentialFile");
  RecordMap records;
  CredentialFileParser parser;
  const int parsed = parser.ParseFile(path, records);
  if (!TakeCredentialRecords(parsed, records, file_records)) return ERR_READ_FILE;
  TRACE_EXITING("ENCRYPT::ReadCredentialFile");
  return ERR_SUCCEED;
}
