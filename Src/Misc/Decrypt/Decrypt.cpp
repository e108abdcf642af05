#include "Src/Misc/Decrypt/Decrypt.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdio>
#include <iostream>

#include "Src/Misc/Decrypt/OutputFile.h"
#include "Src/Misc/Decrypt/PlainText.h"
#include "Src/Misc/Encrypt/ConsoleMessage.h"
#include "Src/Misc/Encrypt/Secrets.h"
#include "Src/Misc/Encrypt/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"

namespace {

// The text holds every secret of the store: wiped however the run ends.
struct WipedText {
  WipedText() = default;
  WipedText(const WipedText&) = delete;
  WipedText& operator=(const WipedText&) = delete;
  ~WipedText() { WipeString(text); }
  std::string text;
};

struct WipedRecords {
  WipedRecords() = default;
  WipedRecords(const WipedRecords&) = delete;
  WipedRecords& operator=(const WipedRecords&) = delete;
  ~WipedRecords() { WipeRecords(records); }
  StoreCommand::RecordMap records;
};

}  // namespace

uint32_t DECRYPT::CheckOptions() {
  if (HasOption("output") && GetOption("output").empty()) {
    return RefuseOption("--output takes the path of the file to write");
  }
  if (HasOption("force") && !HasOption("output")) {
    return RefuseOption("--force replaces the file of --output; give --output FILE");
  }
  return ERR_SUCCEED;
}

uint32_t DECRYPT::RunOnStore() {
  WipedRecords stored;
  uint32_t code =
      FromStoreStatus(EnDecrypt::GetInstance()->Decrypt(path, stored.records, passphrase));
  if (code != ERR_SUCCEED) {
    KLOG(kLevelError) << "Parse the file " << path << " fail.";
    return code;
  }
  WipedText plain;
  code = FormatRecords(stored.records, plain.text);
  WipeRecords(stored.records);
  if (code != ERR_SUCCEED) return code;
  return WriteText(plain.text);
}

uint32_t DECRYPT::FormatRecords(const RecordMap& records, std::string& text) const {
  if (type == kSettings) {
    FormatSettings(records, text);
    return ERR_SUCCEED;
  }
  std::string misfit;
  if (FormatCredentials(records, text, misfit)) return ERR_SUCCEED;
  if (type == kNoType) {
    FormatSettings(records, text);
    return ERR_SUCCEED;
  }
  // A key is a name, not a secret: it may be shown.
  KLOG(kLevelError) << "Record '" << misfit << "' of " << path << " fits no credential target.";
  CONSOLE_MESSAGE(kLevelError) << "The record " << misfit
                               << " is not the user or password of a credential target.";
  return ERR_ENCRYPTED_FILE_INVALID;
}

uint32_t DECRYPT::WriteText(const std::string& text) const {
  if (!HasOption("output")) {
#if defined(_WIN32)
    // The text's line ends as they are, not turned into CR LF.
    std::cout.flush();
    static_cast<void>(_setmode(_fileno(stdout), _O_BINARY));
#endif
    std::cout << text << std::flush;
    return std::cout ? ERR_SUCCEED : ERR_WRITE_FILE;
  }
  const std::string output = GetOption("output");
  const OutputResult written =
      HasOption("force") ? ReplaceOutputFile(output, text) : WriteNewOutputFile(output, text);
  if (written == OutputResult::kExists) {
    KLOG(kLevelError) << "Output file " << output << " exists.";
    CONSOLE_MESSAGE(kLevelError) << "The file " << output
                                 << " exists; it is left alone (--force replaces it).";
    return ERR_WRITE_FILE;
  }
  if (written != OutputResult::kOk) {
    KLOG(kLevelError) << "Write output file " << output << " error.";
    return ERR_WRITE_FILE;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Succeed in decrypting the file " << path << " into " << output
                                 << ".";
  return ERR_SUCCEED;
}
