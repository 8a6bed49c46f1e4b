#include "platform/process.h"

#include <windows.h>

#include <shellapi.h>

namespace orvex::platform {

namespace {
std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string narrow(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), n, nullptr, nullptr);
  narrow.resize(static_cast<size_t>(n - 1));
  return narrow;
}
}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
  std::vector<std::string> tokens;
  // The shell answers an empty line with this program's own path; we answer nothing.
  if (command_line.find_first_not_of(" \t") == std::string_view::npos) return tokens;
  const std::wstring wide = Widen(command_line);
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(wide.c_str(), &count);
  if (argv == nullptr) return tokens;
  for (int i = 0; i < count; ++i) tokens.push_back(Narrow(argv[i]));
  LocalFree(argv);
  return tokens;
}

uint32_t LaunchCommandLine(const std::string& command_line, int show_command) {
  // What WinExec does, minus its wait for the new program's first idle moment (up to
  // 30 s): the caller is the bus's server thread, which must not stall.
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show_command);
  std::string writable = command_line;  // CreateProcessA may write into the line
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    const DWORD error = GetLastError();
    // WinExec's answers below 32: the error code, 11 (bad format) for anything larger.
    return error < 32 ? static_cast<uint32_t>(error) : ERROR_BAD_FORMAT;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return 33;
}

}  // namespace orvex::platform
