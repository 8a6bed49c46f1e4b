// Starting programs on Windows: CreateProcessA and ShellExecuteA.
#include "platform/process_start.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

namespace orvex::platform {

bool StartDetachedProcess(const std::string& application, const std::string& command_line,
                          const std::string& current_directory, uint32_t* error) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  // CreateProcessA may write into the command line, so it gets a private copy.
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  if (!CreateProcessA(application.empty() ? nullptr : application.c_str(), line.data(), nullptr,
                      nullptr, FALSE, 0, nullptr,
                      current_directory.empty() ? nullptr : current_directory.c_str(), &startup,
                      &info)) {
    *error = GetLastError();
    return false;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  *error = 0;
  return true;
}

std::string SystemErrorMessage(uint32_t code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
      nullptr);
  std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  return message;
}

std::string CommandInterpreter() {
  char buffer[MAX_PATH] = {};
  const DWORD n = ExpandEnvironmentStringsA("%comspec%", buffer, sizeof buffer);
  return n > 0 && n <= sizeof buffer ? std::string(buffer) : std::string();
}

std::string CommandInterpreterArguments(const std::string& script) {
  // With /s cmd takes off exactly the outer pair of quotes, whatever the text holds
  // (without it, quotes go when a path holds & ( ) @ ^ |).
  return "/s /c \"" + script + "\"";
}

bool ShellStart(const std::string& file, const std::string& parameters) {
  const HINSTANCE result =
      ShellExecuteA(nullptr, nullptr, file.c_str(),
                    parameters.empty() ? nullptr : parameters.c_str(), nullptr, SW_SHOW);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

bool HasConsoleWindow() {
  return GetConsoleWindow() != nullptr;
}

}  // namespace orvex::platform
