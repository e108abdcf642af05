#include "Src/Misc/Common/OutputFile.h"

#include <filesystem>

#include "Src/Misc/Common/ConsoleMessage.h"
#include "Src/Misc/Common/ProtectedFiles.h"
#include "Src/Misc/Common/Secrets.h"
#include "Src/Misc/Common/Trace.h"
#include "errors/ErrorCatalogue.h"
#include "suite/platform/StandardStreams.h"
#include "suite/platform/Utf8Path.h"

namespace {

uint32_t RefuseExisting(const std::string& path) {
  KLOG(kLevelError) << "Output file " << path << " exists.";
  CONSOLE_MESSAGE(kLevelError) << "The file " << path
                               << " exists; it is left alone (--force replaces it).";
  return ERR_WRITE_FILE;
}

}  // namespace

uint32_t OutputFile::Check(const std::string& store_path) const {
  if (IsStandardOutput()) return ERR_SUCCEED;
  std::error_code error;
  if (std::filesystem::equivalent(platform::MakePath(path), platform::MakePath(store_path),
                                    error)) {
    CONSOLE_MESSAGE(kLevelError) << "The file " << path << " is the store itself; it is left alone.";
    return ERR_WRITE_FILE;
  }
  if (!force && EntryExists(path)) return RefuseExisting(path);
  if (const std::string protected_file = DescribeProtectedFile(path); !protected_file.empty()) {
    CONSOLE_MESSAGE(kLevelError) << "The file " << path << " is " << protected_file
                                 << "; it is never replaced by an output, --force or not.";
    return ERR_WRITE_FILE;
  }
  return ERR_SUCCEED;
}

uint32_t OutputFile::Write(const void* data, std::size_t size,
                           platform::FileSystem& files) const {
  // Straight to the descriptor: no stream buffer keeps a copy of the bytes.
  if (IsStandardOutput()) {
    std::string reason;
    if (platform::WriteStandardOutput(static_cast<const char*>(data), size, reason)) {
      return ERR_SUCCEED;
    }
    // Data that reached nobody is a failure, not a quiet success.
    KLOG(kLevelError) << "Write standard output error: " << reason << ".";
    CONSOLE_MESSAGE(kLevelError) << "The output cannot be written: " << reason << ".";
    return ERR_WRITE_FILE;
  }
  // A new file is made exclusively (an existing entry, a link included, is
  // refused and left alone); "--force" replaces the entry at the path
  // atomically. Either way the file is owner-only and appears whole.
  const auto* bytes = static_cast<const unsigned char*>(data);
  const platform::FileResult written =
      force ? files.ReplaceFileAtomically(path, bytes, size, platform::Replacement::kOwnerOnly)
            : files.CreateFileAtomically(path, bytes, size, false);
  if (written == platform::FileResult::kExists) return RefuseExisting(path);
  if (written != platform::FileResult::kOk) {
    KLOG(kLevelError) << "Write output file " << path << " error"
                      << (written.GetReason().empty() ? "" : ": " + written.GetReason()) << ".";
    return ERR_WRITE_FILE;
  }
  return ERR_SUCCEED;
}
