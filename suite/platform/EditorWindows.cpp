// Editor.h on Windows: the editor named, else Notepad, started and waited
// for.
#include <process.h>

#include <cstdlib>

#include "suite/platform/Editor.h"
#include "suite/platform/Utf8PathWindows.h"

namespace platform {
namespace {

std::string EditorProgram() {
  for (const char* name : {"VISUAL", "EDITOR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return "notepad.exe";
}

}  // namespace

bool RunEditor(const std::string& path, std::string& reason) {
  const std::wstring program = WidenUtf8(EditorProgram());
  const std::wstring quoted = L"\"" + WidenUtf8(path) + L"\"";
  const intptr_t status = _wspawnlp(_P_WAIT, program.c_str(), program.c_str(), quoted.c_str(),
                                    nullptr);
  if (status == 0) return true;
  reason = status < 0 ? "the editor cannot be started"
                      : "the editor exited with status " + std::to_string(status);
  return false;
}

}  // namespace platform
