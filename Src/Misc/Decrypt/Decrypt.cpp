#include "Src/Misc/Decrypt/Decrypt.h"

#include <boost/filesystem.hpp>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/PlainText.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "suite/platform/Files.h"
#include "suite/platform/StandardStreams.h"
#include "suite/utf8/Utf8Path.h"

uint32_t DECRYPT::CheckOptions() {
  if (HasOption("output") && GetOption("output").empty()) {
    return RefuseOption("--output takes the path of the file to write");
  }
  if (HasOption("force") && !HasOption("output")) {
    return RefuseOption("--force replaces the file of --output; give --output FILE");
  }
  return ERR_SUCCEED;
}

uint32_t DECRYPT::CheckBeforePrompt(int mode) {
  static_cast<void>(mode);
  if (!WritesFile()) return ERR_SUCCEED;
  const std::string output = GetOption("output");
  boost::system::error_code error;
  if (boost::filesystem::equivalent(utf8::MakePath(output), utf8::MakePath(path), error)) {
    CONSOLE_MESSAGE(kLevelError) << "The file " << output << " is the store itself; it is left alone.";
    return ERR_WRITE_FILE;
  }
  if (!HasOption("force") && EntryExists(output)) {
    KLOG(kLevelError) << "Output file " << output << " exists.";
    CONSOLE_MESSAGE(kLevelError) << "The file " << output
                                 << " exists; it is left alone (--force replaces it).";
    return ERR_WRITE_FILE;
  }
  return ERR_SUCCEED;
}

uint32_t DECRYPT::RunOnStore(EnDecrypt& store) {
  // The records and the text hold every secret of the store: wiped however
  // the run ends.
  RecordMap stored;
  const ScopedWipe stored_wipe(stored);
  uint32_t code = ReadStoredRecords(store, stored);
  if (code != ERR_SUCCEED) return code;
  std::string plain;
  const ScopedWipe plain_wipe(plain);
  code = FormatRecords(stored, plain);
  WipeValues(stored);
  if (code != ERR_SUCCEED) return code;
  return WriteText(plain);
}

uint32_t DECRYPT::FormatRecords(const RecordMap& records, std::string& text) const {
  if (type == SensitiveSetting) {
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
  // Straight to the descriptor: no stream buffer keeps a copy of the values.
  if (!WritesFile()) {
    return platform::WriteStandardOutput(text.data(), text.size()) ? ERR_SUCCEED : ERR_WRITE_FILE;
  }
  const std::string output = GetOption("output");
  // A new file is made exclusively (an existing entry, a link included, is
  // refused and left alone); "--force" replaces the entry at the path
  // atomically. Either way the file is owner-only and appears whole.
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  const platform::FileResult written =
      HasOption("force")
          ? platform::ReplaceFileAtomically(output, data, text.size(),
                                            platform::Replacement::kOwnerOnly)
          : platform::CreateFileAtomically(output, data, text.size(), false);
  if (written == platform::FileResult::kExists) {
    KLOG(kLevelError) << "Output file " << output << " exists.";
    CONSOLE_MESSAGE(kLevelError) << "The file " << output
                                 << " exists; it is left alone (--force replaces it).";
    return ERR_WRITE_FILE;
  }
  if (written != platform::FileResult::kOk) {
    KLOG(kLevelError) << "Write output file " << output << " error.";
    return ERR_WRITE_FILE;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Succeed in decrypting the file " << path << " into " << output
                                 << ".";
  return ERR_SUCCEED;
}
