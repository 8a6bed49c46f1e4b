#include "platform/command_launch.h"

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
  return WinExec(command_line.c_str(), static_cast<UINT>(show_command));
}

}  // namespace orvex::platform
