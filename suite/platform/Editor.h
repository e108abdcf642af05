// Running the user's editor on a file and waiting for it: $VISUAL, else
// $EDITOR, else the system's default editor. The editor gets the terminal.
// On POSIX systems vim and nvim, under whatever name, are told to keep no
// copy of the text (swap, backup and undo files, viminfo or shada).
// EditorPosix.cpp and EditorWindows.cpp hold the two sides.
#ifndef SUITE_PLATFORM_EDITOR_H_
#define SUITE_PLATFORM_EDITOR_H_

#include <string>

namespace platform {

// Runs the editor on `path` and waits until it ends. True when it exited
// with status 0; otherwise `reason` says how it ended. While it runs, the
// keys that interrupt (Ctrl+C) go to the editor and do not end this process.
[[nodiscard]] bool RunEditor(const std::string& path, std::string& reason);

}  // namespace platform

#endif  // SUITE_PLATFORM_EDITOR_H_
