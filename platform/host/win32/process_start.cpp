// Starting programs on Windows: CreateProcessA and ShellExecuteA.
#include "platform/process.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

#include "process_object.h"

namespace orvex::platform {

namespace {

// An inheritable handle to a new, empty file; null for an empty name.
HANDLE OpenOutputFile(const std::string& path) {
  if (path.empty()) return nullptr;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

}  // namespace

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

ProcessObject* SpawnWithCommandTail(const std::string& program, const std::string& tail,
                                    const std::string& output_path, const std::string& error_path) {
  std::string line = "\"" + program + "\"";
  if (!tail.empty()) line += " " + tail;
  HANDLE out = OpenOutputFile(output_path);
  HANDLE err = error_path == output_path ? out : OpenOutputFile(error_path);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out != nullptr ? out : GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = err != nullptr ? err : GetStdHandle(STD_ERROR_HANDLE);
  auto* process = new ProcessObject{};
  const BOOL started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process->info);
  if (out != nullptr) CloseHandle(out);
  if (err != nullptr && err != out) CloseHandle(err);
  if (!started) {
    delete process;
    return nullptr;
  }
  CloseHandle(process->info.hThread);
  return process;
}

}  // namespace orvex::platform
