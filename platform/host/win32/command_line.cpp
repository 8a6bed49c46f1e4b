#include "platform/command_line.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace orvex::platform {

std::string ProcessCommandLine() {
  const char* line = GetCommandLineA();
  return line == nullptr ? std::string() : std::string(line);
}

bool HasStandardOutput() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  return out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN;
}

void UseBinaryStandardOutput() {
  _setmode(_fileno(stdout), _O_BINARY);
}

bool HasConsoleWindow() {
  return GetConsoleWindow() != nullptr;
}

}  // namespace orvex::platform
