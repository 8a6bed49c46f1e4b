#include "platform/command_line.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

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

std::string ProcessCommandLine() {
  const char* line = GetCommandLineA();
  return line == nullptr ? std::string() : std::string(line);
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

bool HasStandardOutput() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  return out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN;
}

void UseBinaryStandardOutput() {
  _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace orvex::platform
