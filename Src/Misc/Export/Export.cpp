#include "Src/Misc/Export/Export.h"

#include <string>
#include <string_view>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/InputBytes.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "host/EnDecrypt.h"
#include "suite/platform/Heap.h"

namespace {

// The largest recipients file read: thousands of recipients.
constexpr std::size_t kMaxRecipientsFileSize = std::size_t{1} << 20;

// Why a recipient was refused, after its name: a word that is no key of
// either kind, or the fault of an OpenSSH key.
std::string DescribeRecipientFault(age::AgeStatus parsed) {
  return parsed == age::AgeStatus::kMalformedKey
             ? "is not an age recipient (age1...) or an ssh-ed25519 public key"
             : std::string("cannot be used: ") + age::DescribeStatus(parsed);
}

}  // namespace

OutputFile EXPORT::Output() const {
  return OutputFile{GetOption("output"), HasOption("force")};
}

uint32_t EXPORT::CheckOptions() {
  for (const std::string& text : GetOptionValues("recipient")) {
    age::Recipient recipient;
    const age::AgeStatus parsed = age::ParseRecipient(text, recipient);
    if (parsed != age::AgeStatus::kOk) {
      return RefuseOption("--recipient '" + text + "' " + DescribeRecipientFault(parsed));
    }
    recipients.push_back(recipient);
  }
  if (HasOption("recipients-file")) {
    const uint32_t code = ReadRecipientsFile();
    if (code != ERR_SUCCEED) return code;
  }
  if (recipients.empty()) {
    return RefuseOption("export needs --recipient R or --recipients-file FILE");
  }
  return ERR_SUCCEED;
}

uint32_t EXPORT::ReadRecipientsFile() {
  const std::string file = GetOption("recipients-file");
  SecretString text;
  std::string reason;
  std::vector<age::Recipient> read;
  std::size_t bad_line = 0;
  if (ReadFileOrStandardInput(file, kMaxRecipientsFileSize, text, reason)) {
    const age::AgeStatus parsed =
        age::ParseRecipientsFile(std::string_view(text.data(), text.size()), read, &bad_line);
    if (parsed == age::AgeStatus::kOk) {
      recipients.insert(recipients.end(), read.begin(), read.end());
      return ERR_SUCCEED;
    }
    reason = parsed == age::AgeStatus::kNoKeys
                 ? std::string("it names no recipient")
                 : "line " + std::to_string(bad_line) + " " + DescribeRecipientFault(parsed);
  }
  KLOG(kLevelError) << "Recipients file " << file << ": " << reason << ".";
  CONSOLE_MESSAGE(kLevelError) << "The recipients file " << file << " cannot be used: " << reason
                               << ".";
  return ERR_READ_FILE;
}

uint32_t EXPORT::CheckBeforePrompt(EncryptionMode mode) {
  static_cast<void>(mode);
  return Output().Check(path);
}

uint32_t EXPORT::RunOnStore(EnDecrypt& store) {
  // The text holds every secret of the store: wiped however the run ends;
  // only the age file leaves the process.
  std::string plain;
  const ScopedWipe plain_wipe(plain);
  uint32_t code = ReadStoreText(store, plain);
  if (code != ERR_SUCCEED) return code;
  // The age file is as large again as the text: its memory is readied at
  // once, as for a file read whole, rather than faulted in page by page.
  platform::ReadyHeapForFile(plain.size(), platform::HeapUse::kStoreFile);
  std::vector<unsigned char> file;
  const age::AgeStatus sealed =
      age::EncryptToRecipients(recipients, reinterpret_cast<const unsigned char*>(plain.data()),
                               plain.size(), HasOption("armor"), file);
  WipeString(plain);
  if (sealed != age::AgeStatus::kOk) {
    KLOG(kLevelError) << "Age encryption of " << path << " failed: "
                      << age::DescribeStatus(sealed) << ".";
    CONSOLE_MESSAGE(kLevelError) << "The store " << path << " cannot be exported: "
                                 << age::DescribeStatus(sealed) << ".";
    return sealed == age::AgeStatus::kInternal ? ERR_INTERNAL : ERR_ENCRYPT_DECRYPT;
  }
  const OutputFile output = Output();
  code = output.Write(file.data(), file.size());
  if (code != ERR_SUCCEED || output.IsStandardOutput()) return code;
  CONSOLE_MESSAGE(kLevelConsole) << "Succeed in exporting the store " << path << " into "
                                 << output.path << ", encrypted to " << recipients.size()
                                 << (recipients.size() == 1 ? " recipient." : " recipients.");
  return ERR_SUCCEED;
}
