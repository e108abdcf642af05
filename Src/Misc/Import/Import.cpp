#include "Src/Misc/Import/Import.h"

#include <vector>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/InputBytes.h"
#include "Src/Misc/Common/RecordWriter.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/StoreStatus.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "suite/endecrypt/HostKeyAdmin.h"
#include "suite/platform/StandardStreams.h"

namespace {

// The largest identity file read: room for age::kMaxIdentities keys with
// comments around them. More keys than that are refused as they are met.
constexpr std::size_t kMaxIdentityFileSize = std::size_t{1} << 20;

// The keys an import tried, as one phrase.
std::string JoinTried(const std::vector<std::string>& tried) {
  std::string keys;
  for (const std::string& key : tried) keys += (keys.empty() ? "" : ", ") + key;
  return keys;
}

}  // namespace

IMPORT::~IMPORT() {
  for (auto& [type, records] : file_records) WipeValues(records);
}

uint32_t IMPORT::CheckOptions() {
  // Standard input then carries the file and has nothing left for a
  // passphrase or an answer to the update question.
  const bool asks = !HasOption("unattended") || !HasOption("quiet");
  if (GetOption("input") != kStandardInputName || !asks || platform::StandardInputIsTerminal()) {
    return ERR_SUCCEED;
  }
  return RefuseOption("--input - takes standard input, which then cannot answer a prompt: "
                      "give --unattended --quiet, or the age file's path");
}

uint32_t IMPORT::ImportProc() {
  TRACE_ENTERING("IMPORT::ImportProc");
  // The plaintext exists only while the readers run on it, and the file
  // only until then: the writes that follow reuse its memory.
  uint32_t read = ERR_SUCCEED;
  uint32_t code = ERR_SUCCEED;
  {
    SecretString file;
    code = ReadAgeFile(file);
    if (code != ERR_SUCCEED) return code;
    code = OpenAgeFile(file, [this, &read](const unsigned char* data, std::size_t size) {
      read = ReadRecordsFromText(reinterpret_cast<const char*>(data), size,
                                 "the plaintext of " + InputName(), file_records);
    });
  }
  if (code != ERR_SUCCEED) return code;
  if (read == ERR_READ_FILE) return read;  // the reader named the entry
  if (read != ERR_SUCCEED) {
    KLOG(kLevelError) << "The plaintext of " << InputName()
                      << " is neither settings nor credentials.";
    CONSOLE_MESSAGE(kLevelError) << "The plaintext of " << InputName()
                                 << " is neither a settings nor a credential file.";
    return read;
  }
  code = RecordWriter(context, file_records, env).WriteAllTypes();
  if (code != ERR_SUCCEED) return code;
  TRACE_EXITING("IMPORT::ImportProc");
  return ERR_SUCCEED;
}

std::string IMPORT::InputName() const {
  const std::string input = context.options.at("input");
  return input == kStandardInputName ? std::string("standard input") : input;
}

uint32_t IMPORT::ReadAgeFile(SecretString& file) const {
  std::string reason;
  if (ReadFileOrStandardInput(context.options.at("input"), age::kMaxFileSize, file, reason)) {
    return ERR_SUCCEED;
  }
  KLOG(kLevelError) << "Read " << InputName() << " error: " << reason << ".";
  CONSOLE_MESSAGE(kLevelError) << "The age file cannot be read from " << InputName() << ": "
                               << reason << ".";
  const std::string input = context.options.at("input");
  return input == kStandardInputName || EntryExists(input) ? ERR_READ_FILE : ERR_FILE_NOT_EXIST;
}

uint32_t IMPORT::ReadIdentityFile(std::vector<age::Identity>& identities) const {
  const std::string path = context.options.at("identity");
  std::vector<unsigned char> bytes;
  const ScopedWipe wipe_bytes(bytes);
  std::string reason;
  if (!ReadOwnerOnlyFile(path, kMaxIdentityFileSize, bytes, reason)) {
    KLOG(kLevelError) << "Read identity file " << path << " error: " << reason << ".";
    CONSOLE_MESSAGE(kLevelError) << "The identity file " << path << " cannot be used: " << reason
                                 << ".";
    return ERR_READ_FILE;
  }
  std::size_t bad_line = 0;
  const age::AgeStatus parsed = age::ParseIdentityFile(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), identities,
      &bad_line);
  if (parsed == age::AgeStatus::kOk) return ERR_SUCCEED;
  KLOG(kLevelError) << "Identity file " << path << ": " << age::DescribeStatus(parsed) << ".";
  CONSOLE_MESSAGE(kLevelError) << "The identity file " << path << " cannot be used: "
                               << (parsed == age::AgeStatus::kMalformedKey
                                       ? "line " + std::to_string(bad_line) +
                                             " is not an age identity (AGE-SECRET-KEY-1...), "
                                             "and the file is no OpenSSH private key"
                                       : std::string(age::DescribeStatus(parsed)))
                               << ".";
  return ERR_READ_FILE;
}

uint32_t IMPORT::OpenAgeFile(const SecretString& file, const AgePlaintextReader& read) const {
  const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
  age::AgeStatus reason = age::AgeStatus::kOk;
  std::vector<std::string> tried;
  if (context.options.count("identity") != 0) {
    std::vector<age::Identity> identities;
    const uint32_t code = ReadIdentityFile(identities);
    if (code != ERR_SUCCEED) return code;
    age::SecretBytes plaintext;
    reason = age::DecryptWithIdentities(identities, bytes, file.size(), plaintext);
    if (reason == age::AgeStatus::kOk) read(plaintext.data(), plaintext.size());
  } else {
    const StoreStatus status = EnDecryptOpenAgeFile(bytes, file.size(), read, reason, tried);
    if (!status.IsOk() && !status.IsInvalidFile()) {
      // The host key itself failed: not the file's fault.
      const uint32_t code = MapHostKeyStatus(status);
      HostKeyFacts facts;
      static_cast<void>(EnDecryptDescribeHostKey(facts));
      KLOG(kLevelError) << "Host key for age files unusable: " << status << ".";
      CONSOLE_MESSAGE(kLevelError)
          << "The host key " << facts.path << " cannot open age files: "
          << (facts.problem.empty() ? std::string("it cannot be used") : facts.problem)
          << (tried.empty() ? "" : "; nor did " + JoinTried(tried)) << ".";
      return code;
    }
  }
  if (reason == age::AgeStatus::kOk) return ERR_SUCCEED;
  if (reason == age::AgeStatus::kInternal) return ERR_INTERNAL;
  KLOG(kLevelError) << InputName() << " is not an age file this host can open: "
                    << age::DescribeStatus(reason) << ".";
  const bool not_ours = reason == age::AgeStatus::kNoMatchingIdentity &&
                        context.options.count("identity") == 0;
  const std::string keys = JoinTried(tried);
  CONSOLE_MESSAGE(kLevelError) << "The file " << InputName()
                               << " cannot be opened as an age file: "
                               << (not_ours ? "it is not encrypted to this host's recipient "
                                              "(kelvox hostkey recipient prints it) or its ssh "
                                              "host key; tried " + keys
                                            : age::DescribeStatus(reason))
                               << ".";
  return ERR_OPEN_FILE;
}
