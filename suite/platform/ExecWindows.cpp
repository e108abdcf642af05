// Exec.h on Windows, which cannot replace a process by another: the
// program is started with the environment built, waited for, and its exit
// status becomes this process's.
#include <windows.h>

#include <cstdio>
#include <cwctype>
#include <iostream>
#include <string>

#include "suite/platform/DescriptorWindows.h"
#include "suite/platform/Exec.h"
#include "suite/platform/Utf8PathWindows.h"

namespace platform {
namespace {

// Wipes a wide string that held a value, then empties it.
void WipeWide(std::wstring& text) {
  text.resize(text.capacity());
  ::SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
  text.clear();
}

// Variable names compare without regard to letter case on Windows.
bool SameName(const wchar_t* entry, const std::wstring& setting) {
  const std::size_t name_end = setting.find(L'=') + 1;
  for (std::size_t i = 0; i < name_end; ++i) {
    if (entry[i] == L'\0' || std::towupper(entry[i]) != std::towupper(setting[i])) return false;
  }
  return true;
}

// One argument as the C runtime's parser reads it back: quoted when it
// holds a blank or a quote, backslashes doubled before a quote.
void AppendArgument(const std::wstring& argument, std::wstring& line) {
  if (!line.empty()) line += L' ';
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

}  // namespace

const char* WhyNoSecretFiles() {
  return "Windows has no sealed memory file a program can open by name, and a file on disk "
         "would hold the value for as long as the program runs; use --env";
}

ProgramStart::~ProgramStart() {
  for (std::string& setting : settings) {
    setting.resize(setting.capacity());
    ::SecureZeroMemory(setting.data(), setting.size());
  }
}

bool ProgramStart::AddFile(const std::string& name, std::string_view value, std::string& reason) {
  static_cast<void>(name);
  static_cast<void>(value);
  reason = WhyNoSecretFiles();
  return false;
}

std::string ProgramStart::Replace(const std::vector<std::string>& command) {
  std::wstring block;
  std::vector<std::wstring> wide_settings;
  wide_settings.reserve(settings.size());
  for (const std::string& setting : settings) wide_settings.push_back(WidenUtf8(setting));
  if (const LPWCH current = ::GetEnvironmentStringsW()) {
    for (const wchar_t* entry = current; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
      bool replaced = false;
      for (const std::wstring& setting : wide_settings) replaced = replaced || SameName(entry, setting);
      if (!replaced) block.append(entry).append(1, L'\0');
    }
    ::FreeEnvironmentStringsW(current);
  }
  for (std::wstring& setting : wide_settings) {
    block.append(setting).append(1, L'\0');
    WipeWide(setting);
  }
  block.append(1, L'\0');
  std::wstring line;
  for (const std::string& argument : command) AppendArgument(WidenUtf8(argument), line);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr,
                                        &startup, &process);
  const DWORD error = ::GetLastError();
  WipeWide(block);
  if (!started) {
    return "'" + command.front() + "' cannot be run: system error " + std::to_string(error);
  }
  const UniqueHandle program(process.hProcess);
  const UniqueHandle thread(process.hThread);
  for (std::string& setting : settings) {
    setting.resize(setting.capacity());
    ::SecureZeroMemory(setting.data(), setting.size());
    setting.clear();
  }
  DWORD status = 1;
  if (::WaitForSingleObject(program.get(), INFINITE) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(program.get(), &status)) {
    status = 1;
  }
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  ::ExitProcess(status);
}

}  // namespace platform
