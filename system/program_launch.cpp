// Starting programs by command line, through the interpreter and through the shell.
#include "system/program_launch.h"

#include <cstdio>

#include "platform/process.h"
#include "threading/trace.h"

namespace orvex::system {

namespace {

std::string Trimmed(const std::string& text, const char* blanks) {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

bool LaunchProcess(const std::string& application, const std::string& current_directory,
                   const std::string& command_line) {
  if (command_line.size() > kMaxLaunchCommandLine) {
    // The launch buffer holds 260 bytes; a longer line is cut nowhere, it is refused.
    const std::string line = "LaunchProcess: command line of " +
                             std::to_string(command_line.size()) + " characters refused";
    TraceLine(kTraceDbg, line.c_str());
    return false;
  }
  uint32_t error = 0;
  if (platform::StartDetachedProcess(application, command_line, current_directory, &error)) {
    return true;
  }
  const std::string reason = "CreateProcess failed with error " +
                             std::to_string(static_cast<int>(error)) + ": " +
                             platform::SystemErrorMessage(error);
  std::printf("\nCreateProcess failed (%s)", reason.c_str());
  std::fflush(stdout);
  return false;
}

bool RunCommandScript(const std::string& script, const std::string& current_directory) {
  return LaunchProcess(platform::CommandInterpreter(), current_directory,
                       platform::CommandInterpreterArguments(script));
}

bool StartCommand(const std::string& command, const std::string& arguments) {
  std::string line = Trimmed(command, " \t\r\n\v\f");
  if (line.empty()) return false;
  if (line.size() < 2 || line.front() != '"' || line.back() != '"') line = '"' + line + '"';
  const std::string rest = Trimmed(arguments, " \t\r\n");
  if (!rest.empty()) line += " " + rest;
  // The text inside the leading quotes is the program, the rest its parameters.
  const size_t close = line.find('"', 1);
  const std::string file = line.substr(1, close == std::string::npos ? line.npos : close - 1);
  const std::string parameters =
      close == std::string::npos ? std::string() : Trimmed(line.substr(close + 1), " \t\r\n\v\f");
  return platform::ShellStart(file, parameters);
}

}  // namespace orvex::system
