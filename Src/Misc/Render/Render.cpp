#include "Src/Misc/Render/Render.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/InputBytes.h"
#include "Src/Misc/Common/KeyText.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "suite/platform/Files.h"
#include "suite/platform/TrustedPath.h"
#include "suite/secretmemory/SecretMemory.h"

namespace {

constexpr std::string_view kOpening = "{{kelvox:";
constexpr std::string_view kClosing = "}}";
// The largest template read, and the largest output compared before it is
// replaced (a larger one is simply replaced).
constexpr std::size_t kMaxTemplateSize = 16 * 1024 * 1024;
constexpr std::size_t kMaxComparedSize = 64 * 1024 * 1024;
// What --mode may add to the owner's read and write: reading and running
// for anyone, nothing that lets another user change the file, and no
// set-id or sticky bit.
constexpr std::uint32_t kOwnerReadWrite = 0600;
constexpr std::uint32_t kAllowedModeBits = 0755;

// One {{kelvox:TYPE:KEY}} of the template: where it starts, how long it
// is, and the value it names.
struct Placeholder {
  std::size_t offset;
  std::size_t size;
  ValueName value;
};

// The line of `text` that `offset` falls on, from 1.
std::size_t LineOf(std::string_view text, std::size_t offset) {
  return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

}  // namespace

uint32_t RENDER::CheckOptions() {
  mode = kOwnerReadWrite;
  if (HasOption("mode")) {
    const std::string given = GetOption("mode");
    const bool octal = given.size() <= 4 && given.find_first_not_of("01234567") == std::string::npos;
    mode = octal ? static_cast<std::uint32_t>(std::stoul(given, nullptr, 8)) : 07777;
    if ((mode & ~kAllowedModeBits) != 0 || (mode & kOwnerReadWrite) != kOwnerReadWrite) {
      return RefuseOption("--mode " + ShownText(given) + ": an octal mode from 600 to 755 that "
                          "keeps read and write for the owner, no write for group or others, "
                          "and no set-id or sticky bit");
    }
  }
  if (GetOption("template") == GetOption("output")) {
    return RefuseOption("--output must not be the template");
  }
  return ERR_SUCCEED;
}

uint32_t RENDER::RunCommand() {
  TRACE_ENTERING("RENDER::RunCommand");
  const std::string output = GetOption("output");
  // A link is refused before any prompt: the output is never written
  // through one, nor replaced where someone else could swap it.
  if (const platform::FileResult trusted = platform::CheckTrustedPath(output, platform::LastLink::kRefused);
      trusted != platform::FileResult::kOk) {
    KLOG(kLevelError) << trusted.GetReason();
    CONSOLE_MESSAGE(kLevelError) << "The output cannot be written: " << trusted.GetReason() << ".";
    return ERR_WRITE_FILE;
  }
  SecretString source;
  std::string reason;
  if (!ReadFileOrStandardInput(GetOption("template"), kMaxTemplateSize, source, reason)) {
    CONSOLE_MESSAGE(kLevelError) << "The template " << GetOption("template") << " cannot be read: "
                                 << reason << ".";
    return ERR_READ_FILE;
  }
  const std::string_view text(source.data(), source.size());
  std::vector<Placeholder> placeholders;
  ValueMap values;
  const ScopedWipe values_wipe(values);
  for (std::size_t at = text.find(kOpening); at != std::string_view::npos;
       at = text.find(kOpening, at + 1)) {
    const std::size_t end = text.find(kClosing, at + kOpening.size());
    Placeholder found{at, 0, {}};
    if (end == std::string_view::npos ||
        !ParseValueName(text.substr(at + kOpening.size(), end - at - kOpening.size()),
                        found.value)) {
      // A typo must not leave a placeholder in a configuration file.
      CONSOLE_MESSAGE(kLevelError) << "Line " << LineOf(text, at) << " of the template: a "
                                   << kOpening << " that is not {{kelvox:settings:KEY}} or "
                                   << "{{kelvox:credentials:KEY}}. Nothing was written.";
      return ERR_INVALID_FILE;
    }
    found.size = end + kClosing.size() - at;
    values.emplace(found.value, std::string());
    placeholders.push_back(std::move(found));
    at = end;
  }
  if (!values.empty()) {
    if (const uint32_t read = ReadValues(values); read != ERR_SUCCEED) {
      CONSOLE_MESSAGE(kLevelError) << output << " was left as it was.";
      return read;
    }
  }
  // Sized first, so that the text holding the values is never moved.
  std::size_t size = text.size();
  for (const Placeholder& each : placeholders) size += values.at(each.value).size() - each.size;
  std::string rendered;
  const ScopedWipe rendered_wipe(rendered);
  rendered.reserve(size);
  std::size_t copied = 0;
  for (const Placeholder& each : placeholders) {
    rendered.append(text.substr(copied, each.offset - copied)).append(values.at(each.value));
    copied = each.offset + each.size;
  }
  rendered.append(text.substr(copied));
  WipeValues(values);
  return WriteOutput(rendered);
}

uint32_t RENDER::WriteOutput(const std::string& text) const {
  const std::string output = GetOption("output");
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::vector<unsigned char> existing;
  const ScopedWipe existing_wipe(existing);
  const platform::FileResult read = platform::ReadWholeFile(output, kMaxComparedSize, existing);
  if (read == platform::FileResult::kOk && existing.size() == text.size() &&
      sodium_memcmp(existing.data(), bytes, text.size()) == 0) {
    CONSOLE_MESSAGE(kLevelConsole) << output << " is unchanged; nothing was written.";
    return ERR_SUCCEED;
  }
  const platform::FileResult written =
      read == platform::FileResult::kNotFound
          ? platform::CreateFileAtomically(output, bytes, text.size(), false, mode)
          : platform::ReplaceFileAtomically(output, bytes, text.size(),
                                            platform::Replacement::kOwnerOnly, mode);
  if (written != platform::FileResult::kOk) {
    KLOG(kLevelError) << "Writing " << output << " failed: " << written.GetReason();
    CONSOLE_MESSAGE(kLevelError) << "The output " << output << " cannot be written: "
                                 << written.GetReason() << ".";
    return ERR_WRITE_FILE;
  }
  CONSOLE_MESSAGE(kLevelConsole) << "Wrote " << output << ".";
  return ERR_SUCCEED;
}
